#pragma once

#include <QString>

namespace varno {

// What a playlist is: a hand-made list, a rule-based list with its serialised
// criteria, or a folder of other playlists.
class PlaylistType {
public:
    enum class Kind { Standard, Smart, Folder };

    static PlaylistType standard() { return PlaylistType(Kind::Standard, {}); }
    static PlaylistType smart(const QString& criteria) { return PlaylistType(Kind::Smart, criteria); }
    static PlaylistType folder() { return PlaylistType(Kind::Folder, {}); }

    Kind kind() const { return m_kind; }
    // The criteria text of a smart playlist; empty for the other kinds.
    const QString& criteria() const { return m_criteria; }

    friend bool operator==(const PlaylistType& a, const PlaylistType& b)
    {
        return a.m_kind == b.m_kind && (a.m_kind != Kind::Smart || a.m_criteria == b.m_criteria);
    }

private:
    PlaylistType(Kind kind, const QString& criteria)
        : m_kind(kind)
        , m_criteria(criteria)
    {
    }

    Kind m_kind;
    QString m_criteria;
};

} // namespace varno
