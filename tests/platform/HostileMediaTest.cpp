// Files that are audio by their name only. Tag readers and demuxers search a
// file for what they expect; over gigabytes of zeros that search took
// minutes and gigabytes of memory, and in random bytes it could find a
// "song" of several minutes. Both are refused, quickly and cheaply, while
// every real file reads as before.

#include "TestSupport.h"

#include "HostileFiles.h"

#include "platform/FFmpegAudioDecodeSession.h"
#include "platform/FFmpegInput.h"
#include "platform/TagLibMediaReader.h"

#include <QTemporaryDir>

#include <chrono>
#include <future>
#include <memory>
#include <thread>

using namespace varno;

namespace {

constexpr std::int64_t kTwoGigabytes = std::int64_t(2) << 30;

// The outcome of `work` (its error text, or "<no error>"), or "<still
// running>" when it has not ended within `deadline`. The work runs on a
// thread of its own, abandoned if it overruns, so a test of a reader that
// searches for minutes fails at the deadline instead of taking minutes.
template<typename Work>
QString outcomeWithin(std::chrono::seconds deadline, Work work)
{
    auto outcome = std::make_shared<std::promise<QString>>();
    std::future<QString> ended = outcome->get_future();
    std::thread([outcome, work] { outcome->set_value(test::errorText(work)); }).detach();
    if (ended.wait_for(deadline) != std::future_status::ready)
        return QStringLiteral("<still running>");
    return ended.get();
}

QString notRecognised(const QString& name)
{
    return QStringLiteral("The file \u201C%1\u201D could not be read as audio: its format is not recognised").arg(name);
}

class HostileMediaTest : public ::testing::Test {
protected:
    QString path(const QString& name) const { return m_folder.filePath(name); }

private:
    QTemporaryDir m_folder;
};

} // namespace

TEST_F(HostileMediaTest, SparseGigabytesOfZerosAreRefusedInSecondsWithLittleMemory)
{
    // Every name the library imports by, but for the ones whose readers
    // find no header at the start and stop at once (wma, aiff).
    for (const char* name : {"zeros.mp3", "zeros.flac", "zeros.aac", "zeros.m4a", "zeros.ogg", "zeros.wav"}) {
        SCOPED_TRACE(name);
        const QString file = path(QString::fromLatin1(name));
        test::writeSparseFile(file, kTwoGigabytes);
        const test::PeakMemoryGrowth memory;
        EXPECT_EQ(outcomeWithin(std::chrono::seconds(20), [file] { TagLibMediaReader().read(file); }), notRecognised(QString::fromLatin1(name)));
        EXPECT_NE(outcomeWithin(std::chrono::seconds(20), [file] { TagLibMediaReader().firstArtwork(file); }), QStringLiteral("<still running>"));
        EXPECT_LT(memory.bytes(), 64 << 20);
        QFile::remove(file);
    }
}

// The player, the PCM reader and the waveform open files through the same
// demuxer, which searched gigabytes of zeros for a first frame. (What that
// costs in memory is measured by the command-line tests: in this process
// the sanitizer keeps every buffer the demuxer outgrew.)
TEST_F(HostileMediaTest, OpeningZerosForPlaybackEndsQuickly)
{
    const QString file = path(QStringLiteral("zeros.mp3"));
    test::writeSparseFile(file, kTwoGigabytes);
    EXPECT_EQ(outcomeWithin(std::chrono::seconds(20),
                            [file] {
                                FFmpegAudioDecodeSession session(file);
                                if (session.open({}) != FFmpegAudioDecodeSession::OpenResult::Opened)
                                    throw *session.failure();
                            }),
              QStringLiteral("The file \u201Czeros.mp3\u201D could not be read as audio: its audio format is not stated"));
}

// Seed 47 makes a megabyte in which libavformat, going by the name alone,
// found an MP3 stream of 24 kHz lasting 8:44.
TEST_F(HostileMediaTest, RandomBytesNamedLikeAnMp3AreNotASong)
{
    const QString file = path(QStringLiteral("random.mp3"));
    test::writeRandomFile(file, 1 << 20, 47);
    EXPECT_EQ(outcomeWithin(std::chrono::seconds(20), [file] { TagLibMediaReader().read(file); }), notRecognised(QStringLiteral("random.mp3")));
}

TEST_F(HostileMediaTest, RealFilesStillReadWithTheirLengthsAndCovers)
{
    const TagLibMediaReader reader;
    for (const char* fixture : {"formats/tagged.mp3", "formats/tagged.aac", "formats/tagged.m4a", "formats/tagged.flac", "formats/tagged.ogg",
                                "formats/tagged.wma", "formats/tagged.wav", "formats/tagged.aiff", "signals/long-4min.mp3", "damaged/cut-off.mp3",
                                "damaged/garbage-middle.mp3"}) {
        SCOPED_TRACE(fixture);
        const MediaAsset asset = reader.read(test::fixturePath(QString::fromLatin1(fixture)));
        EXPECT_GT(asset.durationSeconds, 0.9);
        EXPECT_TRUE(asset.sampleRate);
    }
    for (const char* fixture : {"covers/big-cover.mp3", "covers/big-cover.flac"}) {
        SCOPED_TRACE(fixture);
        const std::optional<QByteArray> cover = reader.firstArtwork(test::fixturePath(QString::fromLatin1(fixture)));
        ASSERT_TRUE(cover);
        EXPECT_GT(cover->size(), 1000000);
    }
}
