#pragma once

#include "platform/Error.h"

namespace varno {

// Why a playlist operation was refused. Store failures (a file that does not
// decode, a failed write) reach the caller as the store's own errors.
class PlaylistError final : public Error {
public:
    enum class Kind {
        PlaylistNotFound,
        CannotPlayFolder,
        InvalidName,
        NameTooLong,
        InvalidOperation,
        InvalidRuleValue,
        SongsFollowRules,
        NotASmartPlaylist,
        CannotExportFolder,
    };

    static PlaylistError playlistNotFound() { return {Kind::PlaylistNotFound, QStringLiteral("Playlist not found")}; }
    static PlaylistError cannotPlayFolder() { return {Kind::CannotPlayFolder, QStringLiteral("Cannot play a folder")}; }
    static PlaylistError invalidName() { return {Kind::InvalidName, QStringLiteral("Playlist names cannot be empty.")}; }
    static PlaylistError nameTooLong() { return {Kind::NameTooLong, QStringLiteral("Playlist names must be 120 characters or fewer.")}; }
    static PlaylistError invalidOperation() { return {Kind::InvalidOperation, QStringLiteral("Invalid operation")}; }
    // A rule about a number ("Rating > abc") whose value is none.
    static PlaylistError ruleNeedsNumber(const QString& property, const QString& value)
    {
        return {Kind::InvalidRuleValue, value.trimmed().isEmpty()
                                            ? QStringLiteral("%1 needs a whole number.").arg(property)
                                            : QStringLiteral("%1 needs a whole number, not \u201C%2\u201D.").arg(property, value)};
    }
    // A rule about a date whose value is none; `partial` when part of a
    // date ("2024-05") is enough.
    static PlaylistError ruleNeedsDate(const QString& property, const QString& value, bool partial)
    {
        const QString wanted = partial ? QStringLiteral("part of a date written as YYYY-MM-DD") : QStringLiteral("a date written as YYYY-MM-DD");
        return {Kind::InvalidRuleValue, value.trimmed().isEmpty()
                                            ? QStringLiteral("%1 needs %2.").arg(property, wanted)
                                            : QStringLiteral("%1 needs %2, not \u201C%3\u201D.").arg(property, wanted, value)};
    }
    static PlaylistError songsFollowRules()
    {
        return {Kind::SongsFollowRules, QStringLiteral("A smart playlist holds the songs that match its rules; edit the rules to change them.")};
    }
    static PlaylistError notASmartPlaylist() { return {Kind::NotASmartPlaylist, QStringLiteral("Only a smart playlist has rules.")}; }
    static PlaylistError cannotExportFolder() { return {Kind::CannotExportFolder, QStringLiteral("Cannot export a folder")}; }

    Kind kind() const { return m_kind; }

private:
    PlaylistError(Kind kind, const QString& description)
        : Error(description)
        , m_kind(kind)
    {
    }

    Kind m_kind;
};

} // namespace varno
