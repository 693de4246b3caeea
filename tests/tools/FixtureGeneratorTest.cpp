#include "TestSupport.h"

#include "fixtures/FixtureGenerator.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QMap>
#include <QtEndian>

#include <taglib/fileref.h>
#include <taglib/tag.h>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
}

#include <cmath>
#include <tuple>

namespace varno::fixtures {
namespace {

using test::fixturePath;
using test::readFile;

// What libavformat sees in a file: an independent reader checking that a
// fixture is really the format its name says.
struct Probe {
    QString container;
    QString codec;
    double seconds = 0.0;
    QByteArray firstPicture;
};

std::optional<Probe> probe(const QString& path)
{
    av_log_set_level(AV_LOG_ERROR);
    AVFormatContext* context = nullptr;
    if (avformat_open_input(&context, QFile::encodeName(path).constData(), nullptr, nullptr) != 0)
        return std::nullopt;
    std::optional<Probe> result;
    const int audio = avformat_find_stream_info(context, nullptr) >= 0
        ? av_find_best_stream(context, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0)
        : -1;
    if (audio >= 0) {
        result.emplace();
        result->container = QString::fromLatin1(context->iformat->name);
        result->codec = QString::fromLatin1(avcodec_get_name(context->streams[audio]->codecpar->codec_id));
        result->seconds = double(context->duration) / AV_TIME_BASE;
        // Embedded pictures appear as streams of their own, in file order.
        for (unsigned i = 0; i < context->nb_streams && result->firstPicture.isEmpty(); ++i) {
            const AVStream* stream = context->streams[i];
            if (stream->disposition & AV_DISPOSITION_ATTACHED_PIC)
                result->firstPicture = QByteArray(reinterpret_cast<const char*>(stream->attached_pic.data), stream->attached_pic.size);
        }
    }
    avformat_close_input(&context);
    return result;
}

QString titleOf(const QString& path)
{
    const TagLib::FileRef file(QFile::encodeName(path).constData());
    return file.isNull() || !file.tag() ? QStringLiteral("<unreadable>") : QString::fromStdString(file.tag()->title().to8Bit(true));
}

struct FormatCase {
    Format format;
    const char* container;
    const char* codec;
    // How far the container's length may stray: ASF counts the encoder's
    // padding frames into its play duration.
    double lengthTolerance = 0.1;
};

const FormatCase kFormatCases[] = {
    {Format::Mp3, "mp3", "mp3"},         {Format::M4a, "mov,mp4,m4a,3gp,3g2,mj2", "aac"},
    {Format::Wav, "wav", "pcm_s16le"},   {Format::Flac, "flac", "flac"},
    {Format::Aac, "aac", "aac"},         {Format::Ogg, "ogg", "vorbis"},
    {Format::Wma, "asf", "wmav2", 0.25}, {Format::Aiff, "aiff", "pcm_s16be"},
};

// Checks one audio file: container, codec, length, and for formats that hold
// tags, the title and the first picture.
void expectAudioFile(const QString& path, const FormatCase& expected, double seconds, const QString& title,
                     const QByteArray& picture)
{
    SCOPED_TRACE(path.toStdString());
    const std::optional<Probe> probed = probe(path);
    ASSERT_TRUE(probed) << "libavformat cannot read it";
    EXPECT_EQ(probed->container, QLatin1String(expected.container));
    EXPECT_EQ(probed->codec, QLatin1String(expected.codec));
    EXPECT_NEAR(probed->seconds, seconds, expected.lengthTolerance);
    if (canHoldTags(expected.format)) {
        EXPECT_EQ(titleOf(path), title);
        EXPECT_TRUE(probed->firstPicture == picture) << "first picture has " << probed->firstPicture.size() << " bytes";
    }
}

TEST(FixtureGenerator, everyStandardFileExists)
{
    QStringList expected = {"covers/cover.jpg", "covers/cover.png", "covers/png-cover.mp3", "covers/png-cover.flac",
                            "covers/png-cover.m4a", "covers/two-covers.mp3", "covers/two-covers.flac", "covers/two-covers.m4a",
                            "covers/two-covers.ogg", "covers/big-cover.mp3", "covers/big-cover.flac", "signals/silent.wav",
                            "signals/right-louder.wav", "signals/short.wav", "signals/noise.flac", "signals/long-4min.mp3",
                            "signals/long-4min.flac", "bad/empty.mp3", "bad/random.flac", "bad/random.mp3",
                            "bad/truncated.mp3", "bad/truncated.flac", "bad/cover.jpg", "bad/song.mp3",
                            "names/with space.mp3", "names/hash#1.mp3", "names/100%.mp3", "names/what?.mp3",
                            "names/日本語の曲.mp3", "names/SONG.MP3", "names/Song.Name.mp3", "tree/one.mp3", "tree/two.flac",
                            "tree/notes.txt", "tree/.hidden.mp3", "tree/.hiddenfolder/inside.mp3", "tree/album.flac/track.mp3",
                            "tree/a/b/c/d/e/f/g/deep.mp3"};
    for (Format format : kAllFormats)
        expected << "formats/tagged." + extension(format) << "formats/untagged." + extension(format);
    for (const QString& relative : expected)
        EXPECT_TRUE(QFileInfo(fixturePath(relative)).isFile()) << relative.toStdString();

    EXPECT_EQ(QFileInfo(fixturePath("bad/empty.mp3")).size(), 0);
    EXPECT_EQ(QFileInfo(fixturePath("bad/random.flac")).size(), 64 * 1024);
    EXPECT_EQ(readFile(fixturePath("bad/truncated.flac")), readFile(fixturePath("formats/tagged.flac")).left(3000));
    EXPECT_GT(QFileInfo(fixturePath("covers/big-cover.flac")).size(), 1000 * 1000);
    EXPECT_TRUE(QFileInfo(fixturePath("tree/album.flac")).isDir());
    EXPECT_TRUE(QFileInfo(fixturePath("tree/loop")).isSymLink());
    EXPECT_EQ(QFileInfo(fixturePath("tree/loop")).canonicalFilePath(), QFileInfo(fixturePath("tree")).canonicalFilePath());
}

TEST(FixtureGenerator, taggedFilesAreRealFilesOfTheirFormatWithTitleAndCover)
{
    const QByteArray cover = readFile(fixturePath("covers/cover.jpg"));
    for (const FormatCase& formatCase : kFormatCases)
        expectAudioFile(fixturePath("formats/tagged." + extension(formatCase.format)), formatCase, 2.0, "Tagged Title", cover);
}

TEST(FixtureGenerator, copyWithTagsReplacesTheTagsAndKeepsAudioAndPictures)
{
    QTemporaryDir folder;
    const QByteArray cover = readFile(fixturePath("covers/cover.jpg"));
    Tags tags;
    tags.title = QStringLiteral("Copied Title");
    for (const FormatCase& formatCase : kFormatCases) {
        const QString copy = folder.filePath("copy." + extension(formatCase.format));
        copyWithTags(fixturePath("formats/tagged." + extension(formatCase.format)), copy, tags);
        expectAudioFile(copy, formatCase, 2.0, "Copied Title", cover);
    }
    const TagLib::FileRef copied(QFile::encodeName(folder.filePath("copy.mp3")).constData());
    EXPECT_TRUE(copied.tag()->artist().isEmpty());
}

// The metadata libavformat reads from a file, container and audio stream.
QMap<QString, QString> ffmpegTags(const QString& path)
{
    QMap<QString, QString> tags;
    AVFormatContext* context = nullptr;
    if (avformat_open_input(&context, QFile::encodeName(path).constData(), nullptr, nullptr) != 0)
        return tags;
    avformat_find_stream_info(context, nullptr);
    for (const AVDictionary* dictionary : {static_cast<const AVDictionary*>(context->metadata),
                                           context->nb_streams ? static_cast<const AVDictionary*>(context->streams[0]->metadata) : nullptr}) {
        const AVDictionaryEntry* entry = nullptr;
        while ((entry = av_dict_get(dictionary, "", entry, AV_DICT_IGNORE_SUFFIX)))
            tags.insert(QString::fromUtf8(entry->key).toLower(), QString::fromUtf8(entry->value));
    }
    avformat_close_input(&context);
    return tags;
}

TEST(FixtureGenerator, numericTagsAreWrittenAsTheirTextInEachKindOfTag)
{
    QTemporaryDir folder;
    Tags tags;
    tags.title = QStringLiteral("Kinds");
    tags.year = QStringLiteral("2004-05-01");
    tags.track = QStringLiteral("3/12");
    tags.comment = QStringLiteral("abc");
    // Where each kind keeps the year: the bytes of the file name the field.
    const std::tuple<const char*, TagKind, QByteArray, QByteArray> kinds[] = {
        {"mp3", TagKind::Standard, "TDRC", "APETAGEX"}, {"mp3", TagKind::Id3v23, "TYER", "TDRC"},
        {"mp3", TagKind::Ape, "APETAGEX", "TDRC"},      {"wav", TagKind::RiffInfo, "ICRD", "ID3 "},
        {"aiff", TagKind::Id3v23, "TYER", "TDRC"},
    };
    for (const auto& [extension, kind, present, absent] : kinds) {
        SCOPED_TRACE(std::string(extension) + " " + present.toStdString());
        tags.kind = kind;
        const QString copy = folder.filePath(QStringLiteral("kind.") + QLatin1String(extension));
        copyWithTags(fixturePath(QStringLiteral("formats/tagged.") + QLatin1String(extension)), copy, tags);
        const QByteArray bytes = readFile(copy);
        EXPECT_TRUE(bytes.contains(present));
        EXPECT_FALSE(bytes.contains(absent));
        EXPECT_TRUE(bytes.contains(kind == TagKind::Id3v23 ? QByteArray("2004") : QByteArray("2004-05-01")));
        // TagLib's FileRef finds only ID3v2 in WAV, and FFmpeg no APE tag in
        // MP3: one reader or the other sees each kind.
        EXPECT_TRUE(titleOf(copy) == QStringLiteral("Kinds") || ffmpegTags(copy).value(QStringLiteral("title")) == QStringLiteral("Kinds"));
    }
}

TEST(FixtureGenerator, rawAacCarriesALeadingId3v2TagOnlyWhenAskedTo)
{
    QTemporaryDir folder;
    const QString copy = folder.filePath(QStringLiteral("tagged.aac"));
    Tags tags;
    tags.kind = TagKind::LeadingId3v2;
    tags.title = QStringLiteral("Raw");
    tags.year = QStringLiteral("2004-05-01");
    tags.track = QStringLiteral("3/12");
    tags.bpm = QStringLiteral("-1");
    copyWithTags(fixturePath(QStringLiteral("formats/untagged.aac")), copy, tags);
    EXPECT_TRUE(readFile(copy).startsWith("ID3\x04"));
    const QMap<QString, QString> read = ffmpegTags(copy);
    EXPECT_EQ(read.value(QStringLiteral("title")), QStringLiteral("Raw"));
    EXPECT_EQ(read.value(QStringLiteral("date")), QStringLiteral("2004-05-01"));
    EXPECT_EQ(read.value(QStringLiteral("track")), QStringLiteral("3/12"));
    EXPECT_EQ(read.value(QStringLiteral("tbpm")), QStringLiteral("-1"));
    expectAudioFile(copy, kFormatCases[4], 1.0, QString(), QByteArray());

    // Written again without it, the tag goes and the frames are as they were.
    copyWithTags(copy, copy, Tags {});
    EXPECT_EQ(readFile(copy), readFile(fixturePath(QStringLiteral("formats/untagged.aac"))));
}

TEST(FixtureGenerator, aKindOfTagTheFormatCannotHoldIsAnError)
{
    QTemporaryDir folder;
    Tags ape;
    ape.kind = TagKind::Ape;
    EXPECT_EQ(test::errorText([&] { copyWithTags(fixturePath("formats/untagged.flac"), folder.filePath("a.flac"), ape); }),
              QStringLiteral("cannot write %1: a .flac file cannot hold an APE tag").arg(folder.filePath("a.flac")));
    Tags info;
    info.kind = TagKind::RiffInfo;
    info.disc = QStringLiteral("1");
    info.bpm = QStringLiteral("120");
    EXPECT_EQ(test::errorText([&] { copyWithTags(fixturePath("formats/untagged.wav"), folder.filePath("a.wav"), info); }),
              QStringLiteral("cannot write %1: a RIFF INFO chunk cannot hold DISCNUMBER, BPM").arg(folder.filePath("a.wav")));
}

// The per-channel RMS of a 16-bit PCM WAV file, read straight from its chunks.
std::vector<double> channelLevels(const QByteArray& wav)
{
    int channels = 0;
    std::vector<double> sums;
    for (qsizetype at = 12; at + 8 <= wav.size();) {
        const QByteArray id = wav.mid(at, 4);
        const qsizetype size = qFromLittleEndian<quint32>(wav.constData() + at + 4);
        const char* body = wav.constData() + at + 8;
        if (id == "fmt ")
            channels = qFromLittleEndian<quint16>(body + 2);
        if (id == "data" && channels > 0) {
            sums.assign(channels, 0.0);
            const qsizetype samples = size / 2;
            for (qsizetype i = 0; i < samples; ++i)
                sums[i % channels] += std::pow(qFromLittleEndian<qint16>(body + 2 * i) / 32768.0, 2);
            for (double& sum : sums)
                sum = std::sqrt(sum / double(samples / channels));
        }
        at += 8 + size + (size & 1);
    }
    return sums;
}

TEST(FixtureGenerator, channelLevelsShapeTheWrittenNoise)
{
    QTemporaryDir folder;
    Signal noise;
    noise.waveform = Waveform::Noise;
    noise.levels = {0.2, 0.8};
    writeAudioFile(folder.filePath("noise.wav"), Format::Wav, noise);

    const std::vector<double> levels = channelLevels(readFile(folder.filePath("noise.wav")));
    ASSERT_EQ(levels.size(), 2u);
    // Uniform noise of peak p has an RMS of p / √3.
    EXPECT_NEAR(levels[0], 0.2 / std::sqrt(3.0), 0.01);
    EXPECT_NEAR(levels[1], 0.8 / std::sqrt(3.0), 0.01);
}

TEST(FixtureGenerator, aFailureNamesTheFileItWasWriting)
{
    const QString text = test::errorText([] { writeAudioFile("/nonexistent-folder/song.mp3", Format::Mp3, Signal{}); });
    EXPECT_TRUE(text.startsWith("cannot write /nonexistent-folder/song.mp3: cannot create a file in /nonexistent-folder")) << text.toStdString();
}

} // namespace
} // namespace varno::fixtures
