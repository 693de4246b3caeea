#include "TestSupport.h"

#include "library/SecurityScopedResource.h"
#include "media/OstrelWaveformGenerator.h"
#include "media/WaveformError.h"
#include "platform/FileError.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QtEndian>

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <memory>
#include <mutex>

using namespace varno;
using namespace std::chrono_literals;

namespace {

// One frame of sound in otherwise silent audio: a level per channel, stored
// as level × 32768, so 0.5, 0.25 and 0.125 read back exactly.
struct Click {
    std::int64_t frame = 0;
    std::vector<double> levels;
};

// A 16-bit PCM WAV of `frames` silent frames with the clicks laid in.
void writeClickWav(const QString& path, int channels, std::int64_t frames, const std::vector<Click>& clicks)
{
    std::vector<qint16> samples(static_cast<std::size_t>(frames * channels), 0);
    for (const Click& click : clicks) {
        for (std::size_t c = 0; c < click.levels.size(); ++c)
            samples[static_cast<std::size_t>(click.frame * channels) + c] = static_cast<qint16>(std::min(32767L, std::lround(click.levels[c] * 32768)));
    }
    const auto dataBytes = static_cast<quint32>(samples.size() * sizeof(qint16));
    QByteArray wav;
    const auto put32 = [&](quint32 value) { wav.append(reinterpret_cast<const char*>(&value), 4); };
    const auto put16 = [&](quint16 value) { wav.append(reinterpret_cast<const char*>(&value), 2); };
    wav.append("RIFF");
    put32(36 + dataBytes);
    wav.append("WAVEfmt ");
    put32(16);
    put16(1);
    put16(static_cast<quint16>(channels));
    put32(44100);
    put32(44100u * 2u * static_cast<quint32>(channels));
    put16(static_cast<quint16>(2 * channels));
    put16(16);
    wav.append("data");
    put32(dataBytes);
    wav.append(reinterpret_cast<const char*>(samples.data()), static_cast<qsizetype>(dataBytes));
    static_assert(Q_BYTE_ORDER == Q_LITTLE_ENDIAN, "the WAV is written in the machine's byte order");
    test::writeFile(path, wav);
}

// What the generator logs under its category while a test runs; every other
// message goes where it went before. Lines come from the worker thread.
class WaveformLog {
public:
    WaveformLog()
    {
        s_lines.clear();
        s_previous = qInstallMessageHandler(&WaveformLog::collect);
    }
    ~WaveformLog() { qInstallMessageHandler(s_previous); }

    QStringList errorLines() const
    {
        std::lock_guard lock(s_mutex);
        return s_lines;
    }

private:
    static void collect(QtMsgType type, const QMessageLogContext& context, const QString& message)
    {
        if (qstrcmp(context.category, "varno.waveform") != 0) {
            if (s_previous)
                s_previous(type, context, message);
            return;
        }
        std::lock_guard lock(s_mutex);
        if (type == QtCriticalMsg)
            s_lines.push_back(message);
    }

    static inline QtMessageHandler s_previous = nullptr;
    static inline std::mutex s_mutex;
    static inline QStringList s_lines;
};

class WaveformGeneratorTest : public test::DataFolderTest {
protected:
    void SetUp() override
    {
        DataFolderTest::SetUp();
        generator = std::make_unique<OstrelWaveformGenerator>();
    }
    void TearDown() override
    {
        generator.reset();
        DataFolderTest::TearDown();
    }

    static Track songAt(const QString& path, std::optional<QByteArray> bookmark = std::nullopt)
    {
        return Track(QUuid::createUuid(), FileURL::fromLocalFile(path), QFileInfo(path).fileName(), QStringLiteral("Song"), 1,
                     Timestamp::now(), std::move(bookmark));
    }

    // A song over a new click file in the scratch folder.
    Track clickSong(const QString& name, int channels, std::int64_t frames, const std::vector<Click>& clicks)
    {
        const QString path = scratch(name);
        writeClickWav(path, channels, frames, clicks);
        return songAt(path);
    }

    std::vector<float> peaksOf(const Track& song, int points)
    {
        const Waveform waveform = test::await(generator->generateWaveform(song, points));
        EXPECT_EQ(waveform.trackID, song.id);
        return waveform.peaks;
    }

    QString errorOf(const Track& song, int points)
    {
        return test::errorText([&] { test::await(generator->generateWaveform(song, points), 10s); });
    }

    QString cacheFolder() const { return appFile(QStringLiteral("WaveformCache")); }
    QString cacheFile(const QUuid& id, int points) const
    {
        return cacheFolder() + QStringLiteral("/waveform_%1_%2.json").arg(id.toString(QUuid::WithoutBraces).toUpper()).arg(points);
    }
    QStringList cacheEntries() const
    {
        return QDir(cacheFolder()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    }
    static QString idText(const Track& song) { return song.id.toString(QUuid::WithoutBraces).toUpper(); }

    std::unique_ptr<OstrelWaveformGenerator> generator;
};

// Peaks that are all zero but for the given points.
std::vector<float> peaksWith(int points, const std::map<int, float>& loud)
{
    std::vector<float> peaks(static_cast<std::size_t>(points), 0.0f);
    for (const auto& [index, value] : loud)
        peaks[static_cast<std::size_t>(index)] = value;
    return peaks;
}

} // namespace

TEST_F(WaveformGeneratorTest, EachFrameLandsInThePointItsShareOfTheSongGives)
{
    struct Case {
        std::int64_t frames;
        int points;
        std::vector<Click> clicks;
        std::map<int, float> expected;
    };
    const Case cases[] = {
        // 10,007 frames over 100 points: point 37 starts at frame 3703, so
        // two neighbouring frames fall on either side of that boundary.
        {10007, 100, {{0, {0.125}}, {3702, {0.25}}, {3703, {0.5}}, {10006, {0.375}}}, {{0, 0.25f}, {36, 0.5f}, {37, 1.0f}, {99, 0.75f}}},
        // Four reads of 32,768 frames: the seams between them are point
        // boundaries, and nothing is lost or doubled there.
        {131072, 4096, {{32767, {0.25}}, {32768, {0.5}}, {131071, {0.125}}}, {{1023, 0.5f}, {1024, 1.0f}, {4095, 0.25f}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.frames);
        const Track song = clickSong(QStringLiteral("clicks-%1.wav").arg(c.frames), 1, c.frames, c.clicks);
        EXPECT_EQ(peaksOf(song, c.points), peaksWith(c.points, c.expected));
    }
}

TEST_F(WaveformGeneratorTest, EachFrameTakesItsLouderChannelNotAnAverage)
{
    // Right louder at frame 150, both equal at 550, left louder at 950.
    const Track song = clickSong(QStringLiteral("stereo.wav"), 2, 1000, {{150, {0.125, 0.5}}, {550, {0.25, 0.25}}, {950, {0.5, 0.0}}});
    EXPECT_EQ(peaksOf(song, 10), peaksWith(10, {{1, 1.0f}, {5, 0.5f}, {9, 1.0f}}));
}

TEST_F(WaveformGeneratorTest, QuietPassagesKeepTheirShareOfTheLoudest)
{
    const Track song = clickSong(QStringLiteral("quiet.wav"), 1, 800, {{50, {0.2}}, {450, {0.4}}});
    const std::vector<float> peaks = peaksOf(song, 8);
    EXPECT_EQ(peaks[4], 1.0f);
    EXPECT_NEAR(peaks[0], 0.5f, 1e-4);
    EXPECT_EQ(std::count(peaks.begin(), peaks.end(), 0.0f), 6);
}

TEST_F(WaveformGeneratorTest, SilentFileGivesZerosWithoutDividingByZero)
{
    EXPECT_EQ(peaksOf(songAt(test::fixturePath(QStringLiteral("signals/silent.wav"))), 360), std::vector<float>(360, 0.0f));
}

TEST_F(WaveformGeneratorTest, FileShorterThanThePointCountFillsSomePoints)
{
    // 200 frames over 360 points: frame f goes to point 1.8 × f, so points
    // such as 2 and 4 get no frame at all.
    const std::vector<float> peaks = peaksOf(songAt(test::fixturePath(QStringLiteral("signals/short.wav"))), 360);
    ASSERT_EQ(peaks.size(), 360u);
    EXPECT_EQ(peaks[2], 0.0f);
    EXPECT_EQ(peaks[4], 0.0f);
    EXPECT_GE(std::count(peaks.begin(), peaks.end(), 0.0f), 160);
    EXPECT_EQ(*std::max_element(peaks.begin(), peaks.end()), 1.0f);
}

TEST_F(WaveformGeneratorTest, EveryFormatGivesTheSteadyLevelOfASine)
{
    // Lossy formats state a length a little off the decoded one (the 2 s
    // WMA claims 2.2 s, so its last points stay empty), so only the points
    // away from the ends are compared.
    for (const char* name : {"tagged.mp3", "tagged.m4a", "tagged.wav", "tagged.flac", "tagged.aac", "tagged.ogg", "tagged.wma", "tagged.aiff",
                             "untagged.ogg"}) {
        SCOPED_TRACE(name);
        const std::vector<float> peaks = peaksOf(songAt(test::fixturePath(QStringLiteral("formats/") + QLatin1String(name))), 360);
        ASSERT_EQ(peaks.size(), 360u);
        EXPECT_EQ(*std::max_element(peaks.begin(), peaks.end()), 1.0f);
        EXPECT_GT(*std::min_element(peaks.begin() + 10, peaks.begin() + 300), 0.9f);
    }
}

TEST_F(WaveformGeneratorTest, PointCountsOutsideEightTo4096FailBeforeAnyFileIsTouched)
{
    const Track nowhere = songAt(scratch(QStringLiteral("never-written.mp3")));
    for (const int points : {7, 4097, 0, -1}) {
        try {
            test::await(generator->generateWaveform(nowhere, points));
            ADD_FAILURE() << points << " points were accepted";
        } catch (const WaveformError& error) {
            EXPECT_EQ(error.kind(), WaveformError::Kind::InvalidPointCount);
            EXPECT_EQ(error.description(), QStringLiteral("The requested waveform resolution is invalid."));
        }
    }
    EXPECT_TRUE(cacheEntries().isEmpty());

    const Track song = songAt(test::fixturePath(QStringLiteral("signals/noise.flac")));
    EXPECT_EQ(peaksOf(song, 8).size(), 8u);
    EXPECT_EQ(peaksOf(song, 4096).size(), 4096u);
}

TEST_F(WaveformGeneratorTest, CacheFileIsNamedForSongAndResolutionAndHoldsCompactJson)
{
    const Track song = clickSong(QStringLiteral("eight.wav"), 1, 800, {{50, {0.5}}, {250, {0.25}}, {750, {0.125}}});
    const std::vector<float> peaks = peaksOf(song, 8);
    EXPECT_EQ(peaks, peaksWith(8, {{0, 1.0f}, {2, 0.5f}, {7, 0.25f}}));
    EXPECT_EQ(cacheEntries(), QStringList {QStringLiteral("waveform_%1_8.json").arg(idText(song))});
    EXPECT_EQ(test::readFile(cacheFile(song.id, 8)), QStringLiteral(R"({"peaks":[1,0,0.5,0,0,0,0,0.25],"trackID":"%1"})").arg(idText(song)).toUtf8());
}

TEST_F(WaveformGeneratorTest, CacheWrittenByAnotherEncoderIsServedAsItStands)
{
    // The song's file does not exist: only the cache can answer.
    const Track song = songAt(scratch(QStringLiteral("elsewhere.flac")));
    QDir().mkpath(cacheFolder());
    test::writeFile(cacheFile(song.id, 8), QStringLiteral("{\n  \"trackID\" : \"%1\",\n  \"peaks\" : [\n    1.0, 5e-1, 0.25E0, 0,\n    0.0, 1e-3, 0.5, 0.75\n  ]\n}\n")
                                               .arg(idText(song))
                                               .toUtf8());
    EXPECT_EQ(peaksOf(song, 8), (std::vector<float> {1.0f, 0.5f, 0.25f, 0.0f, 0.0f, 0.001f, 0.5f, 0.75f}));
}

TEST_F(WaveformGeneratorTest, CacheFilesThatDoNotFitAreRegeneratedAndReplaced)
{
    const Track song = clickSong(QStringLiteral("refit.wav"), 1, 800, {{50, {0.5}}, {250, {0.25}}});
    const std::vector<float> real = peaksWith(8, {{0, 1.0f}, {2, 0.5f}});
    const QByteArray written = QStringLiteral(R"({"peaks":[1,0,0.5,0,0,0,0,0],"trackID":"%1"})").arg(idText(song)).toUtf8();
    const QString ones = QStringLiteral("[1,1,1,1,1,1,1,1]");
    const QString otherSong = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
    const QStringList unfit = {
        QString(),
        QStringLiteral("not JSON at all"),
        QStringLiteral(R"({"peaks":[1,1,1)"),
        QStringLiteral(R"({"peaks":%1,"trackID":"%2"})").arg(ones, otherSong),
        QStringLiteral(R"({"peaks":[1,1,1,1,1,1,1],"trackID":"%1"})").arg(idText(song)),
        QStringLiteral(R"({"peaks":%1})").arg(ones),
        QStringLiteral(R"({"trackID":"%1"})").arg(idText(song)),
        QStringLiteral(R"({"peaks":[2,1,1,1,1,1,1,1],"trackID":"%1"})").arg(idText(song)),
        QStringLiteral(R"({"peaks":[1,1,1,1,1,1,1,"1"],"trackID":"%1"})").arg(idText(song)),
        QStringLiteral(R"({"peaks":%1,"trackID":"%2"} trailing)").arg(ones, idText(song)),
    };
    QDir().mkpath(cacheFolder());
    for (const QString& content : unfit) {
        SCOPED_TRACE(content.toStdString());
        test::writeFile(cacheFile(song.id, 8), content.toUtf8());
        EXPECT_EQ(peaksOf(song, 8), real);
        EXPECT_EQ(test::readFile(cacheFile(song.id, 8)), written);
    }

    // Each resolution has its own file: one for 16 points answers 16 only.
    test::writeFile(cacheFile(song.id, 16), QStringLiteral(R"({"peaks":[1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1],"trackID":"%1"})").arg(idText(song)).toUtf8());
    QFile::remove(cacheFile(song.id, 8));
    EXPECT_EQ(peaksOf(song, 8), real);
    EXPECT_EQ(peaksOf(song, 16), std::vector<float>(16, 1.0f));
}

TEST_F(WaveformGeneratorTest, RemovedAudioFileIsStillServedFromTheCache)
{
    const QString path = scratch(QStringLiteral("short.wav"));
    ASSERT_TRUE(QFile::copy(test::fixturePath(QStringLiteral("signals/short.wav")), path));
    const Track song = songAt(path);
    const std::vector<float> peaks = peaksOf(song, 360);
    ASSERT_TRUE(QFile::remove(path));

    EXPECT_EQ(peaksOf(song, 360), peaks);
    EXPECT_EQ(errorOf(song, 64), QStringLiteral("The audio file could not be found at %1.").arg(path));
}

TEST_F(WaveformGeneratorTest, MissingFileIsReportedAsMissingWithOrWithoutABookmark)
{
    const QString path = scratch(QStringLiteral("gone.flac"));
    ASSERT_TRUE(QFile::copy(test::fixturePath(QStringLiteral("signals/noise.flac")), path));
    const Track bookmarked = songAt(path, SecurityScopedResource::makeBookmark(FileURL::fromLocalFile(path)));
    ASSERT_TRUE(QFile::remove(path));

    const QString expected = QStringLiteral("The audio file could not be found at %1.").arg(path);
    EXPECT_EQ(errorOf(bookmarked, 360), expected);
    EXPECT_EQ(errorOf(songAt(path), 360), expected);
}

TEST_F(WaveformGeneratorTest, EveryMalformedFileEndsInAnErrorWithinTwoSeconds)
{
    QStringList files;
    for (const QString& folder : {test::fixturePath(QStringLiteral("bad")), QStringLiteral(VARNO_TEST_FIXTURES_DIR)}) {
        QDirIterator it(folder, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext())
            files << it.next();
    }
    ASSERT_GE(files.size(), 10);
    for (const QString& file : files) {
        SCOPED_TRACE(file.toStdString());
        QElapsedTimer clock;
        clock.start();
        const QString error = errorOf(songAt(file), 360);
        EXPECT_LT(clock.elapsed(), 2000);
        EXPECT_NE(error, QStringLiteral("<no error>"));
        EXPECT_NE(error, QStringLiteral("the task did not finish in time"));
    }
    EXPECT_TRUE(cacheEntries().isEmpty());
}

TEST_F(WaveformGeneratorTest, FilesWithoutUsableAudioCarryTheirReasons)
{
    EXPECT_EQ(errorOf(songAt(test::fixturePath(QStringLiteral("bad/empty.mp3"))), 360),
              QStringLiteral("The file “empty.mp3” could not be read as audio: the file is empty"));
    EXPECT_EQ(errorOf(songAt(test::fixturePath(QStringLiteral("bad/garbled-tail.m4a"))), 360),
              QStringLiteral("The file “garbled-tail.m4a” could not be read as audio: the audio data is damaged"));
    const QString folder = scratch(QStringLiteral("folder.mp3"));
    QDir().mkpath(folder);
    EXPECT_EQ(errorOf(songAt(folder), 360), QStringLiteral("The file “folder.mp3” could not be read as audio: it is a folder, not a regular file"));
}

TEST_F(WaveformGeneratorTest, InvalidationRemovesEveryResolutionOfOneSongOnly)
{
    const QString path = test::fixturePath(QStringLiteral("signals/noise.flac"));
    const Track first = songAt(path);
    const Track second = songAt(path);
    peaksOf(first, 8);
    peaksOf(first, 360);
    peaksOf(second, 8);
    ASSERT_EQ(cacheEntries().size(), 3);

    generator->invalidateCache(first.id);
    // Requests run after the invalidation queued before them.
    peaksOf(second, 8);
    EXPECT_EQ(cacheEntries(), QStringList {QStringLiteral("waveform_%1_8.json").arg(idText(second))});
}

TEST_F(WaveformGeneratorTest, ClearingEmptiesTheCacheFolderAndCachingGoesOn)
{
    const Track song = songAt(test::fixturePath(QStringLiteral("signals/noise.flac")));
    peaksOf(song, 8);
    peaksOf(songAt(test::fixturePath(QStringLiteral("signals/silent.wav"))), 8);
    test::writeFile(cacheFolder() + QStringLiteral("/notes.txt"), "stray");
    test::writeFile(cacheFolder() + QStringLiteral("/.waveform_x.json.Ab12Cd"), "left by a killed write");

    test::await(generator->clearWaveformCache());
    EXPECT_TRUE(cacheEntries().isEmpty());
    EXPECT_TRUE(QFileInfo(cacheFolder()).isDir());

    peaksOf(song, 8);
    EXPECT_TRUE(QFile::exists(cacheFile(song.id, 8)));
}

TEST_F(WaveformGeneratorTest, CacheFailuresAreLoggedAndNeverReachTheCaller)
{
    const WaveformLog log;
    const Track song = clickSong(QStringLiteral("logged.wav"), 1, 800, {{50, {0.5}}});
    // A folder where the cache file should go: it can be neither read nor
    // replaced, whoever runs the test.
    QDir().mkpath(cacheFile(song.id, 8));
    EXPECT_EQ(peaksOf(song, 8), peaksWith(8, {{0, 1.0f}}));
    ASSERT_EQ(log.errorLines().size(), 1);
    EXPECT_TRUE(log.errorLines()[0].startsWith(QStringLiteral("Unable to cache waveform: The file “waveform_%1_8.json”").arg(idText(song))))
        << log.errorLines()[0].toStdString();

    peaksOf(song, 16);
    generator->invalidateCache(song.id);
    test::await(generator->clearWaveformCache());
    const QStringList lines = log.errorLines();
    ASSERT_EQ(lines.size(), 3);
    EXPECT_TRUE(lines[1].startsWith(QStringLiteral("Unable to remove waveform cache: The file “waveform_%1_8.json” could not be removed: ").arg(idText(song))))
        << lines[1].toStdString();
    EXPECT_TRUE(lines[2].startsWith(QStringLiteral("Unable to clear waveform cache: "))) << lines[2].toStdString();
    EXPECT_EQ(cacheEntries(), QStringList {QStringLiteral("waveform_%1_8.json").arg(idText(song))});
}

TEST_F(WaveformGeneratorTest, DefaultCacheFolderIsCreatedInTheApplicationFolder)
{
    EXPECT_EQ(generator->cacheDirectory(), cacheFolder());
    EXPECT_TRUE(QFileInfo(cacheFolder()).isDir());

    const QString given = scratch(QStringLiteral("deep/cache/folder"));
    EXPECT_EQ(OstrelWaveformGenerator(given).cacheDirectory(), given);
    EXPECT_TRUE(QFileInfo(given).isDir());

    // A file in the way of the folder: no generator is made.
    test::writeFile(scratch(QStringLiteral("blocked")), "file");
    const QString blocked = scratch(QStringLiteral("blocked/cache"));
    EXPECT_THROW(OstrelWaveformGenerator {blocked}, FileError);
}

TEST_F(WaveformGeneratorTest, CurrentPeakIndexStaysInsideThePeaks)
{
    struct Case {
        double progress;
        int total;
        int index;
    };
    constexpr double nan = std::numeric_limits<double>::quiet_NaN();
    constexpr double infinity = std::numeric_limits<double>::infinity();
    for (const Case& c : {Case {1.0, 360, 359}, Case {0.5, 360, 180}, Case {0.0, 360, 0}, Case {0.9999, 360, 359}, Case {-0.2, 360, 0},
                          Case {1.7, 360, 359}, Case {nan, 360, 0}, Case {infinity, 360, 0}, Case {-infinity, 360, 0}, Case {0.5, 0, 0},
                          Case {0.5, -3, 0}, Case {0.99, 1, 0}}) {
        EXPECT_EQ(generator->currentPeakIndex(c.progress, c.total), c.index) << c.progress << " of " << c.total;
    }
}
