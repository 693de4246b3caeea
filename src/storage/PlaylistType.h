#pragma once

#include "storage/SmartRule.h"

#include <QString>

#include <optional>

namespace varno {

// What a playlist is: a hand-made list, a rule-based list with its serialised
// criteria, or a folder of other playlists.
//
// A smart playlist whose rules are known (kept as data, or read back from
// its criteria text) is live: its songs are the library's songs that match
// them. One whose criteria text cannot be read as rules keeps the songs
// added to it by hand, like a standard playlist.
class PlaylistType {
public:
    enum class Kind { Standard, Smart, Folder };

    static PlaylistType standard() { return PlaylistType(Kind::Standard); }
    // Constructors, not a defaulted argument, tell the two apart: g++ 12
    // takes an absent optional passed by value for one that may be read
    // uninitialised, and says so in every file that makes a playlist.
    static PlaylistType smart(const QString& criteria) { return PlaylistType(Kind::Smart, criteria); }
    static PlaylistType smart(const QString& criteria, std::optional<SmartRuleSet> rules)
    {
        return PlaylistType(Kind::Smart, criteria, std::move(rules));
    }
    // The criteria text written from the rules.
    static PlaylistType smart(const SmartRuleSet& rules) { return smart(smartCriteriaText(rules), rules); }
    static PlaylistType folder() { return PlaylistType(Kind::Folder); }

    Kind kind() const { return m_kind; }
    // The criteria text of a smart playlist; empty for the other kinds.
    const QString& criteria() const { return m_criteria; }
    // The rules of a live smart playlist; absent otherwise.
    const std::optional<SmartRuleSet>& rules() const { return m_rules; }
    bool isLiveSmart() const { return m_kind == Kind::Smart && m_rules.has_value(); }

    friend bool operator==(const PlaylistType& a, const PlaylistType& b)
    {
        return a.m_kind == b.m_kind && (a.m_kind != Kind::Smart || (a.m_criteria == b.m_criteria && a.m_rules == b.m_rules));
    }

private:
    explicit PlaylistType(Kind kind, const QString& criteria = QString())
        : m_kind(kind)
        , m_criteria(criteria)
    {
    }
    PlaylistType(Kind kind, const QString& criteria, std::optional<SmartRuleSet> rules)
        : m_kind(kind)
        , m_criteria(criteria)
        , m_rules(std::move(rules))
    {
    }

    Kind m_kind;
    QString m_criteria;
    std::optional<SmartRuleSet> m_rules;
};

} // namespace varno
