#include "OstrelWaveformGenerator.h"

#include "library/SecurityScopedAccessError.h"
#include "library/SecurityScopedResource.h"
#include "media/WaveformCodec.h"
#include "media/WaveformError.h"
#include "platform/ApplicationFolder.h"
#include "platform/FFmpegAudioFileReader.h"
#include "platform/FileError.h"
#include "platform/FileIO.h"
#include "platform/MediaReader.h"
#include "platform/NonRegularFile.h"
#include "playback/AudioPlaybackError.h"

#include <QFile>
#include <QLoggingCategory>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <new>
#include <optional>
#include <vector>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

namespace varno {

namespace {

Q_LOGGING_CATEGORY(lcWaveform, "varno.waveform")

// Frames decoded per read: the buffer is reused for the whole song, so a
// two-hour file needs no more memory than a two-minute one.
constexpr std::int64_t kBlockFrames = 32768;

QString cacheFilePath(const QString& folder, const QUuid& trackID, int numberOfPoints)
{
    return folder + QStringLiteral("/waveform_") + trackID.toString(QUuid::WithoutBraces).toUpper() + QLatin1Char('_')
        + QString::number(numberOfPoints) + QStringLiteral(".json");
}

// A cache file that cannot be read, does not decode or belongs to another
// song or resolution is simply not a hit: the waveform is made again and the
// file replaced, so a damaged cache mends itself.
std::optional<Waveform> cachedWaveform(const QString& path, const QUuid& trackID, int numberOfPoints)
{
    try {
        const std::optional<fileio::FileBytes> bytes = fileio::readWholeFile(path);
        if (!bytes)
            return std::nullopt;
        Waveform cached = json::decodeWaveform(*bytes, "waveform cache");
        if (cached.trackID != trackID || cached.peaks.size() != static_cast<std::size_t>(numberOfPoints))
            return std::nullopt;
        return cached;
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

void storeInCache(const QString& folder, const QString& path, const Waveform& waveform)
{
    try {
        // The folder is made again if somebody removed it since start-up.
        fileio::createFolder(folder);
        fileio::writeFileAtomically(path, json::encodeWaveform(waveform));
    } catch (const std::exception& error) {
        qCCritical(lcWaveform).noquote() << "Unable to cache waveform:" << describe(error);
    }
}

bool fileExists(const QString& path)
{
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0;
}

std::unique_ptr<SecurityScopedResource> openAccess(const Track& track)
{
    try {
        return SecurityScopedResource::access(track);
    } catch (const SecurityScopedAccessError&) {
        // Linux grants no access of its own, so a deleted file surfaces as a
        // refused access; telling the user the file is gone is the truth,
        // as the audio engine does.
        const QString path = track.fileURL.toLocalFile();
        if (!fileExists(path))
            throw AudioPlaybackError::missingFile(track.fileURL);
        // Access is refused to anything but a regular file; a named pipe or
        // a folder where the song was is reported as what it is.
        if (const std::optional<NonRegularFileKind> kind = nonRegularFileKind(path))
            throw MediaReadError::notRegularFile(path, *kind);
        throw;
    }
}

// The loudest magnitude among `count` samples. A NaN counts as silence.
float loudestOf(const float* samples, std::int64_t count)
{
    // Eight independent running maxima, which the compiler turns into two
    // vector ones: with a single maximum every comparison waits for the one
    // before, and the scan would add a good share to the decoding time.
    constexpr int kLanes = 8;
    float lanes[kLanes] = {};
    std::int64_t i = 0;
    for (; i + kLanes <= count; i += kLanes) {
        for (int lane = 0; lane < kLanes; ++lane)
            lanes[lane] = std::max(lanes[lane], std::fabs(samples[i + lane]));
    }
    for (; i < count; ++i)
        lanes[0] = std::max(lanes[0], std::fabs(samples[i]));
    return *std::max_element(lanes, lanes + kLanes);
}

// Each point is the loudest sample of its share of the song: frame f belongs
// to point f × points ÷ length (whole part), so the shares differ by at most
// one frame and the last frame lands in the last point.
class PeakBuckets {
public:
    PeakBuckets(int points, std::int64_t length)
        : m_peaks(static_cast<std::size_t>(points), 0.0f)
        , m_points(points)
        , m_length(length)
    {
    }

    // Folds in the buffer's frames, the first of which is frame `position`
    // of the song. Walks from one point's boundary to the next, rather than
    // dividing once per frame.
    void add(const FloatPcmBuffer& block, std::int64_t position)
    {
        const std::int64_t frames = block.frameLength();
        int bucket = static_cast<int>(std::min<std::int64_t>(position * m_points / m_length, m_points - 1));
        std::int64_t done = 0;
        while (done < frames) {
            const std::int64_t bucketEnd = bucket == m_points - 1 ? frames : std::min(frames, firstFrameOf(bucket + 1) - position);
            if (bucketEnd > done) {
                float& peak = m_peaks[static_cast<std::size_t>(bucket)];
                for (int c = 0; c < block.channelCount(); ++c)
                    peak = std::max(peak, loudestOf(block.channel(c) + done, bucketEnd - done));
                done = bucketEnd;
            }
            if (done < frames)
                ++bucket;
        }
    }

    // The loudest point becomes exactly 1 and the others keep their
    // proportion to it; a silent song stays all zeros.
    std::vector<float> normalised() &&
    {
        const float loudest = *std::max_element(m_peaks.begin(), m_peaks.end());
        if (loudest > 0) {
            for (float& peak : m_peaks) {
                const float scaled = peak / loudest;
                // Only infinity ÷ infinity gives NaN here: that point is
                // the loudest.
                peak = std::isnan(scaled) ? 1.0f : std::clamp(scaled, 0.0f, 1.0f);
            }
        }
        return std::move(m_peaks);
    }

private:
    // The first frame whose point is `bucket`: the smallest f with
    // f × points ≥ bucket × length.
    std::int64_t firstFrameOf(int bucket) const { return (bucket * m_length + m_points - 1) / m_points; }

    std::vector<float> m_peaks;
    std::int64_t m_points;
    std::int64_t m_length;
};

std::vector<float> scanPeaks(const Track& track, int numberOfPoints)
{
    // Declared first, so the reader has closed the file before the access
    // ends.
    const std::unique_ptr<SecurityScopedResource> access = openAccess(track);
    if (!fileExists(access->path()))
        throw AudioPlaybackError::missingFile(access->url());
    FFmpegAudioFileReader reader(access->path());

    const std::int64_t length = reader.lengthInFrames();
    // A length of centuries would overflow the point arithmetic; only a
    // damaged header states one.
    if (length < 1 || length > std::numeric_limits<std::int64_t>::max() / OstrelWaveformGenerator::kMaximumPoints
        || reader.sampleRate() <= 0 || reader.channelCount() <= 0)
        throw WaveformError::invalidSourceData();

    std::optional<FloatPcmBuffer> buffer;
    try {
        buffer.emplace(reader.channelCount(), kBlockFrames);
    } catch (const std::bad_alloc&) {
        throw WaveformError::generationFailed();
    }

    PeakBuckets buckets(numberOfPoints, length);
    std::int64_t position = 0;
    // Decoding stops at the stated length even when a lossy stream holds a
    // few frames more, so every frame has its point.
    while (position < length) {
        const std::int64_t read = reader.read(*buffer, std::min(length - position, kBlockFrames));
        if (read == 0)
            break;
        buckets.add(*buffer, position);
        position += read;
    }
    if (position == 0)
        throw WaveformError::invalidSourceData();
    return std::move(buckets).normalised();
}

// Runs on the worker.
Waveform cachedOrScanned(const QString& folder, const Track& track, int numberOfPoints)
{
    const QString path = cacheFilePath(folder, track.id, numberOfPoints);
    if (std::optional<Waveform> cached = cachedWaveform(path, track.id, numberOfPoints))
        return std::move(*cached);
    Waveform waveform {scanPeaks(track, numberOfPoints), track.id};
    storeInCache(folder, path, waveform);
    return waveform;
}

// Removes the entries of the cache folder whose names contain `containing`
// (all of them when it is empty), logging each one that cannot be removed
// with `failure`. A folder that cannot be listed is left alone in silence.
// Names are taken as the system gives them, so even one that is not UTF-8
// can be removed.
void removeEntries(const QString& folder, const QByteArray& containing, const char* failure)
{
    const QByteArray base = QFile::encodeName(folder);
    std::vector<QByteArray> names;
    {
        const std::unique_ptr<DIR, int (*)(DIR*)> directory(::opendir(base.constData()), &::closedir);
        if (!directory)
            return;
        // Listed whole before anything is removed: whether readdir still
        // returns entries removed after it started is unspecified.
        while (const dirent* entry = ::readdir(directory.get())) {
            const QByteArray name(entry->d_name);
            if (name != "." && name != ".." && (containing.isEmpty() || name.contains(containing)))
                names.push_back(name);
        }
    }
    for (const QByteArray& name : names) {
        const QByteArray path = base + '/' + name;
        if (::unlink(path.constData()) != 0) {
            const int reason = errno;
            qCCritical(lcWaveform).noquote() << failure << FileError(FileError::Operation::Remove, QFile::decodeName(path), reason).description();
        }
    }
}

QString defaultCacheDirectory()
{
    return applicationFolderPath() + QStringLiteral("/WaveformCache");
}

} // namespace

OstrelWaveformGenerator::OstrelWaveformGenerator(std::optional<QString> cacheDirectory)
    : m_cacheDirectory(cacheDirectory ? std::move(*cacheDirectory) : defaultCacheDirectory())
{
    fileio::createFolder(m_cacheDirectory);
}

OstrelWaveformGenerator::~OstrelWaveformGenerator() = default;

QCoro::Task<Waveform> OstrelWaveformGenerator::generateWaveform(Track track, int numberOfPoints)
{
    if (numberOfPoints < kMinimumPoints || numberOfPoints > kMaximumPoints)
        throw WaveformError::invalidPointCount();
    // The work item holds its own copies: nothing of the generator is
    // touched once it is queued.
    auto work = [folder = m_cacheDirectory, track = std::move(track), numberOfPoints] { return cachedOrScanned(folder, track, numberOfPoints); };
    auto generating = m_worker.run(std::move(work));
    co_return co_await std::move(generating);
}

int OstrelWaveformGenerator::currentPeakIndex(double progress, int totalPeaks) const
{
    if (totalPeaks < 1)
        return 0;
    const double clamped = std::isfinite(progress) ? std::clamp(progress, 0.0, 1.0) : 0.0;
    return std::min(totalPeaks - 1, static_cast<int>(totalPeaks * clamped));
}

void OstrelWaveformGenerator::invalidateCache(const QUuid& trackID)
{
    m_worker.pool()->start([folder = m_cacheDirectory, id = trackID.toByteArray(QUuid::WithoutBraces).toUpper()] {
        removeEntries(folder, id, "Unable to remove waveform cache:");
    });
}

QCoro::Task<> OstrelWaveformGenerator::clearWaveformCache()
{
    auto clearing = m_worker.run([folder = m_cacheDirectory] { removeEntries(folder, QByteArray(), "Unable to clear waveform cache:"); });
    co_await std::move(clearing);
}

} // namespace varno
