#pragma once

#include "platform/Error.h"
#include "platform/NonRegularFile.h"

#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

namespace varno {

// One descriptive item of a file's tags, under the common key it maps to
// ("title", "artist", "albumName", "genre", "type", "composer",
// "albumArtist", "artwork", "date", "trackNumber", "discNumber", "bpm",
// "comment"). Items are the tags' text as stored: "3/12" for a track
// number, "2004-05-01" for a date; the library's rules make fields of them.
struct MediaItem {
    QString commonKey;
    std::optional<QString> stringValue;
    std::optional<QByteArray> dataValue;
};

// What the media layer knows of one audio file.
struct MediaAsset {
    // Text items in the order the file holds them. Pictures are not copied
    // here (a cover can be megabytes); firstArtwork() reads them on demand.
    std::vector<MediaItem> items;
    double durationSeconds = 0;
    // The first audio track's sample rate; absent when there is no audio track.
    std::optional<double> sampleRate;
};

// The file could not be read as audio. The text names the file and gives the
// reading library's reason.
class MediaReadError final : public Error {
public:
    MediaReadError(const QString& path, const QString& reason);

    // `path` leads to a folder, a named pipe, a device or a socket.
    static MediaReadError notRegularFile(const QString& path, NonRegularFileKind kind);

    // The reading library's reason alone, for messages that name the file
    // themselves ("its format is not recognised").
    const QString& reason() const { return m_reason; }

private:
    QString m_reason;
};

// Throws MediaReadError unless `path` leads to a regular file or to nothing
// at all (which the opening call reports with the system's reason). Every
// open of a song's file comes after it: opening a named pipe blocks until a
// writer appears, and a device never runs out of bytes.
void requireRegularFile(const QString& path);

// Reads tags, audio properties and embedded pictures. Blocking; safe to call
// from several worker threads at once (no shared state).
class MediaReader {
public:
    virtual ~MediaReader() = default;

    // Throws MediaReadError.
    virtual MediaAsset read(const QString& path) const = 0;
    // The text items alone, for a file already known to be audio: the audio
    // properties are not read, which spares most of the work of read().
    // Throws MediaReadError when the file cannot be read.
    virtual std::vector<MediaItem> readTags(const QString& path) const = 0;
    // The first embedded picture's bytes exactly as stored; absent when the
    // file has none. Throws MediaReadError when the file cannot be read.
    virtual std::optional<QByteArray> firstArtwork(const QString& path) const = 0;
};

} // namespace varno
