#pragma once

#include "storage/FileURL.h"
#include "storage/Timestamp.h"

#include <QByteArray>
#include <QString>
#include <QUuid>

#include <cstdint>
#include <optional>

namespace varno {

// The library's record of one song: where its file is, the saved access grant
// for it and the metadata the user sees and edits. A plain value; identity is
// `id`, but equality and hashing cover every field.
struct Track {
    QUuid id;
    FileURL fileURL;
    QString filename;
    std::optional<QByteArray> securityScopedBookmark;
    QString title;
    double duration = 0;
    std::optional<QString> artist;
    std::optional<QString> album;
    std::optional<QString> genre;
    std::optional<std::int64_t> year;
    std::optional<std::int64_t> trackNumber;
    std::optional<std::int64_t> discNumber;
    std::optional<QString> composer;
    std::optional<QString> albumArtist;
    std::optional<QString> comments;
    std::optional<std::int64_t> bpm;
    std::optional<QString> lyrics;
    std::int64_t rating = 0;
    std::optional<std::int64_t> bitrate;
    std::optional<std::int64_t> sampleRate;
    std::optional<Timestamp> dateAdded;
    // Whether the year, track and disc numbers, comments and BPM have been
    // taken from the file's tags. Songs imported before those were read
    // lack them; a rescan fills in what they lack and sets this, so that a
    // value the user cleared afterwards is never filled in again.
    bool tagFieldsRead = false;

    // For decoders and containers; every field empty.
    Track() = default;

    // A new song record with no optional metadata and rating 0. Throws
    // TrackError::invalidFilename when `filename` contains '/'.
    Track(const QUuid& id, const FileURL& fileURL, const QString& filename, const QString& title, double duration,
          Timestamp dateAdded, std::optional<QByteArray> securityScopedBookmark);

    friend bool operator==(const Track&, const Track&) = default;
};

size_t qHash(const Track& track, size_t seed = 0) noexcept;

// The favourites are the songs rated 4 or more. Marking a song a favourite
// rates it 5; taking it out rates it 0, so it leaves the top rated as well.
// Every list, heart and query of favourites goes through these two.
constexpr bool isFavorite(std::int64_t rating)
{
    return rating >= 4;
}

constexpr std::int64_t favoriteRating(bool favorite)
{
    return favorite ? 5 : 0;
}

} // namespace varno
