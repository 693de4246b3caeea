#pragma once

#include "platform/Error.h"

namespace varno {

// Why a playlist operation was refused. Store failures (a file that does not
// decode, a failed write) reach the caller as the store's own errors.
class PlaylistError final : public Error {
public:
    enum class Kind { PlaylistNotFound, CannotPlayFolder, InvalidName, NameTooLong, InvalidOperation };

    static PlaylistError playlistNotFound() { return {Kind::PlaylistNotFound, QStringLiteral("Playlist not found")}; }
    static PlaylistError cannotPlayFolder() { return {Kind::CannotPlayFolder, QStringLiteral("Cannot play a folder")}; }
    static PlaylistError invalidName() { return {Kind::InvalidName, QStringLiteral("Playlist names cannot be empty.")}; }
    static PlaylistError nameTooLong() { return {Kind::NameTooLong, QStringLiteral("Playlist names must be 120 characters or fewer.")}; }
    static PlaylistError invalidOperation() { return {Kind::InvalidOperation, QStringLiteral("Invalid operation")}; }

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
