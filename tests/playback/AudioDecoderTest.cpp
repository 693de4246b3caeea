#include "TestSupport.h"

#include "platform/FFmpegPcmReader.h"
#include "platform/MediaReader.h"
#include "playback/AudioDecoderError.h"
#include "playback/OstrelAudioDecoder.h"

#include <cmath>
#include <vector>

using namespace varno;
using test::await;

namespace {

FileURL fixtureURL(const QString& relative)
{
    return FileURL::fromLocalFile(test::fixturePath(relative));
}

// What the media layer's PCM reader yields for a whole file (or from
// `startSeconds` on): the stated format, the frames and each channel's level.
struct DecodedTrack {
    double sampleRate = 0;
    int channelCount = 0;
    std::int64_t frames = 0;
    std::vector<double> rms;
    bool allZero = true;
};

DecodedTrack decodeWithReader(const QString& relative, double startSeconds = 0)
{
    FFmpegPcmReader reader(test::fixturePath(relative));
    EXPECT_TRUE(reader.hasAudioTrack());
    EXPECT_EQ(reader.addOutput(), FFmpegPcmReader::OutputResult::Added);
    reader.setTimeRangeStart(startSeconds);
    EXPECT_TRUE(reader.startReading());
    DecodedTrack track;
    const auto description = reader.streamDescription();
    if (!description)
        return track;
    track.sampleRate = description->sampleRate;
    track.channelCount = description->channelCount;
    std::vector<double> squares(static_cast<std::size_t>(track.channelCount));
    while (const auto block = reader.copyNextBlock()) {
        EXPECT_EQ(block->channelCount, track.channelCount);
        for (int c = 0; c < block->channelCount; ++c) {
            for (std::int64_t i = 0; i < block->frameCount; ++i) {
                const float sample = block->plane(c)[i];
                squares[static_cast<std::size_t>(c)] += double(sample) * sample;
                track.allZero = track.allZero && sample == 0.0f;
            }
        }
        track.frames += block->frameCount;
    }
    EXPECT_EQ(reader.status(), FFmpegPcmReader::Status::Completed);
    for (double sum : squares)
        track.rms.push_back(track.frames > 0 ? std::sqrt(sum / double(track.frames)) : 0.0);
    return track;
}

// Buffers the decoder hands out until the end of the stream.
int countBuffers(AudioDecoder& decoder)
{
    int count = 0;
    while (decoder.decodeNextBuffer(4096))
        ++count;
    return count;
}

QString openError(const QString& relative)
{
    OstrelAudioDecoder decoder;
    return test::errorText([&] { await(decoder.openStream(fixtureURL(relative))); });
}

// Encoders add priming and padding, in whole codec frames, that not every
// container lets the decoder remove: AAC comes out up to two 1024-frame
// blocks long, WMA a little short. PCM, FLAC, Vorbis and MP3 are exact.
constexpr std::int64_t kLengthTolerance = 2048;

void checkTaggedFormat(const QString& extension)
{
    SCOPED_TRACE(extension.toStdString());
    const QString relative = QStringLiteral("formats/tagged.") + extension;
    const DecodedTrack track = decodeWithReader(relative);
    EXPECT_EQ(track.sampleRate, 44100.0);
    EXPECT_EQ(track.channelCount, 2);
    EXPECT_NEAR(double(track.frames), 2.0 * 44100, double(kLengthTolerance));
    ASSERT_EQ(track.rms.size(), 2u);
    // A sine at level 0.5 has an RMS of about 0.35.
    EXPECT_GT(track.rms[0], 0.2);
    EXPECT_GT(track.rms[1], 0.2);

    OstrelAudioDecoder decoder;
    EXPECT_EQ(await(decoder.openStream(fixtureURL(relative))), (AudioFormat {44100, 2, 32, false}));
    EXPECT_GT(countBuffers(decoder), 0);
}

} // namespace

TEST(PcmReaderTest, EveryFormatDecodesToTwoSecondsOfStereoFloatAtItsOwnRate)
{
    for (const char* extension : {"mp3", "m4a", "wav", "flac", "aac", "ogg", "wma", "aiff"})
        checkTaggedFormat(QString::fromLatin1(extension));
}

TEST(PcmReaderTest, ChannelsStayApartAndInOrder)
{
    const DecodedTrack track = decodeWithReader(QStringLiteral("signals/right-louder.wav"));
    ASSERT_EQ(track.rms.size(), 2u);
    EXPECT_GT(track.rms[1], 2 * track.rms[0]);
}

TEST(PcmReaderTest, SilenceDecodesToZeros)
{
    const DecodedTrack track = decodeWithReader(QStringLiteral("signals/silent.wav"));
    EXPECT_EQ(track.frames, 2 * 44100);
    EXPECT_TRUE(track.allZero);
}

TEST(PcmReaderTest, ShortFileYieldsExactlyItsFrames)
{
    const DecodedTrack track = decodeWithReader(QStringLiteral("signals/short.wav"));
    EXPECT_EQ(track.channelCount, 1);
    EXPECT_EQ(track.frames, 200);
}

TEST(PcmReaderTest, TimeRangeStartDropsEverythingBeforeIt)
{
    for (const char* relative : {"formats/tagged.wav", "formats/tagged.flac"})
        EXPECT_EQ(decodeWithReader(QString::fromLatin1(relative), 0.5).frames, 66150) << relative;
    EXPECT_NEAR(double(decodeWithReader(QStringLiteral("formats/tagged.mp3"), 1.0).frames), 44100, 1152);
    EXPECT_EQ(decodeWithReader(QStringLiteral("formats/tagged.wav"), 5.0).frames, 0);
}

TEST(AudioDecoderTest, FileOfAnotherRateOpensWithItsOwnFormatButBuffersReportTheFixedOne)
{
    OstrelAudioDecoder decoder;
    EXPECT_EQ(await(decoder.openStream(fixtureURL(QStringLiteral("formats/untagged.flac")))), (AudioFormat {48000, 1, 32, false}));
    const std::optional<AudioBuffer> buffer = decoder.decodeNextBuffer(512);
    ASSERT_TRUE(buffer);
    EXPECT_EQ(buffer->format, (AudioFormat {44100, 2, 32, false}));
    EXPECT_EQ(buffer->frameCount, 512);
    EXPECT_TRUE(buffer->pcmData.isEmpty());
}

TEST(AudioDecoderTest, NothingIsDecodedBeforeOpeningAfterTheEndOrAfterClosing)
{
    OstrelAudioDecoder decoder;
    EXPECT_FALSE(decoder.decodeNextBuffer(1024));
    await(decoder.openStream(fixtureURL(QStringLiteral("signals/short.wav"))));
    EXPECT_EQ(countBuffers(decoder), 1);
    EXPECT_FALSE(decoder.decodeNextBuffer(1024));

    await(decoder.openStream(fixtureURL(QStringLiteral("formats/tagged.wav"))));
    decoder.closeStream();
    EXPECT_FALSE(decoder.decodeNextBuffer(1024));
}

TEST(AudioDecoderTest, SeekRestartsReadingAtThePositionUntilTheEnd)
{
    OstrelAudioDecoder decoder;
    await(decoder.seek(1.0));
    EXPECT_FALSE(decoder.decodeNextBuffer(1024));

    await(decoder.openStream(fixtureURL(QStringLiteral("formats/tagged.flac"))));
    const int whole = countBuffers(decoder);
    await(decoder.seek(1.0));
    const int fromMiddle = countBuffers(decoder);
    EXPECT_GT(fromMiddle, 0);
    EXPECT_LT(fromMiddle, whole);
    // Seeking again after the end re-opens the same file.
    await(decoder.seek(0.0));
    EXPECT_EQ(countBuffers(decoder), whole);
    await(decoder.seek(30.0));
    EXPECT_FALSE(decoder.decodeNextBuffer(1024));
}

TEST(AudioDecoderTest, PreDecodeReadsNothingAndCountsFramesAtTheFixedRate)
{
    OstrelAudioDecoder decoder;
    const AudioBuffer buffer = await(decoder.preDecode(FileURL::fromLocalFile(QStringLiteral("/nonexistent/x.mp3")), 2.5));
    EXPECT_EQ(buffer.frameCount, 110250);
    EXPECT_TRUE(buffer.pcmData.isEmpty());
    EXPECT_EQ(buffer.format, (AudioFormat {44100, 2, 32, false}));
    EXPECT_EQ(await(decoder.preDecode(FileURL(), 0.99999)).frameCount, 44099);
}

TEST(AudioDecoderTest, FileWithoutAudioIsUnreadable)
{
    OstrelAudioDecoder decoder;
    const FileURL url = fixtureURL(QStringLiteral("bad/song.mp3"));
    try {
        await(decoder.openStream(url));
        FAIL() << "opened a picture as audio";
    } catch (const AudioDecoderError& error) {
        EXPECT_EQ(error.kind(), AudioDecoderError::Kind::FileUnreadable);
        EXPECT_EQ(error.url(), url);
        EXPECT_EQ(error.description(), test::fixturePath(QStringLiteral("bad/song.mp3")));
    }
    EXPECT_FALSE(decoder.decodeNextBuffer(1024));
}

TEST(AudioDecoderTest, BadFilesFailWithExactTextsWithoutCrashing)
{
    EXPECT_EQ(openError(QStringLiteral("bad/empty.mp3")),
              QStringLiteral("The file \u201Cempty.mp3\u201D could not be read as audio: the file is empty"));
    EXPECT_EQ(openError(QStringLiteral("bad/missing.mp3")),
              QStringLiteral("The file \u201Cmissing.mp3\u201D could not be read as audio: No such file or directory"));
    EXPECT_EQ(openError(QStringLiteral("bad/random.mp3")),
              QStringLiteral("The file \u201Crandom.mp3\u201D could not be read as audio: its format is not recognised"));
    EXPECT_EQ(openError(QStringLiteral("bad/truncated.mp3")),
              QStringLiteral("The file \u201Ctruncated.mp3\u201D could not be read as audio: its format is not recognised"));
    EXPECT_EQ(openError(QStringLiteral("bad/truncated.flac")),
              QStringLiteral("The file \u201Ctruncated.flac\u201D could not be read as audio: the file ends before its audio does; it may have been cut off while copying or downloading"));
    // The media layer finds a stream in the noise but no decoder for it.
    EXPECT_EQ(openError(QStringLiteral("bad/random.flac")), QStringLiteral("Cannot add track output to AVAssetReader."));
}
