#include "Track.h"

#include "TrackError.h"

#include <QHashFunctions>

namespace varno {

TrackError::TrackError(Kind kind, const QString& filename, const QString& description)
    : Error(description)
    , m_kind(kind)
    , m_filename(filename)
{
}

TrackError TrackError::invalidFilename(const QString& filename)
{
    return TrackError(Kind::InvalidFilename, filename,
                      QStringLiteral("The filename '") + filename
                          + QStringLiteral("' is invalid. Filenames cannot contain a forward slash ('/')."));
}

Track::Track(const QUuid& id, const FileURL& fileURL, const QString& filename, const QString& title, double duration,
             Timestamp dateAdded, std::optional<QByteArray> securityScopedBookmark)
    : id(id)
    , fileURL(fileURL)
    , filename(filename)
    , securityScopedBookmark(std::move(securityScopedBookmark))
    , title(title)
    , duration(duration)
    , dateAdded(dateAdded)
{
    if (filename.contains(QLatin1Char('/')))
        throw TrackError::invalidFilename(filename);
}

namespace {

// Optional fields contribute a presence marker before their value, so an
// absent field never hashes like a present default value.
template<typename T>
void combineOptional(QtPrivate::QHashCombine& combine, size_t& seed, const std::optional<T>& value)
{
    seed = combine(seed, value.has_value() ? 1 : 0);
    if (value)
        seed = combine(seed, *value);
}

} // namespace

size_t qHash(const Track& track, size_t seed) noexcept
{
    QtPrivate::QHashCombine combine;
    seed = combine(seed, track.id);
    seed = combine(seed, track.fileURL);
    seed = combine(seed, track.filename);
    combineOptional(combine, seed, track.securityScopedBookmark);
    seed = combine(seed, track.title);
    // 0.0 and -0.0 compare equal, so they must hash alike.
    seed = combine(seed, track.duration == 0 ? 0.0 : track.duration);
    combineOptional(combine, seed, track.artist);
    combineOptional(combine, seed, track.album);
    combineOptional(combine, seed, track.genre);
    combineOptional(combine, seed, track.year);
    combineOptional(combine, seed, track.trackNumber);
    combineOptional(combine, seed, track.discNumber);
    combineOptional(combine, seed, track.composer);
    combineOptional(combine, seed, track.albumArtist);
    combineOptional(combine, seed, track.comments);
    combineOptional(combine, seed, track.bpm);
    combineOptional(combine, seed, track.lyrics);
    seed = combine(seed, track.rating);
    combineOptional(combine, seed, track.bitrate);
    combineOptional(combine, seed, track.sampleRate);
    combineOptional(combine, seed, track.dateAdded);
    seed = combine(seed, track.tagFieldsRead);
    return seed;
}

} // namespace varno
