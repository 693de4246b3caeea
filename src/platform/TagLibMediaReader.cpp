#include "TagLibMediaReader.h"

#include "platform/FFmpegInput.h"

#include <QFile>
#include <QFileInfo>

#include <taglib/aifffile.h>
#include <taglib/asffile.h>
#include <taglib/attachedpictureframe.h>
#include <taglib/fileref.h>
#include <taglib/flacfile.h>
#include <taglib/id3v2tag.h>
#include <taglib/mp4file.h>
#include <taglib/mpegfile.h>
#include <taglib/mpegheader.h>
#include <taglib/opusfile.h>
#include <taglib/tpropertymap.h>
#include <taglib/vorbisfile.h>
#include <taglib/wavfile.h>
#include <taglib/xiphcomment.h>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
}

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <string_view>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace varno {

MediaReadError::MediaReadError(const QString& path, const QString& reason)
    : Error(QStringLiteral("The file \u201C%1\u201D could not be read as audio: %2").arg(QFileInfo(path).fileName(), reason))
    , m_reason(reason)
{
}

MediaReadError MediaReadError::notRegularFile(const QString& path, NonRegularFileKind kind)
{
    return MediaReadError(path, QStringLiteral("it is %1, not a regular file").arg(nameWithArticle(kind)));
}

void requireRegularFile(const QString& path)
{
    if (const std::optional<NonRegularFileKind> kind = nonRegularFileKind(path))
        throw MediaReadError::notRegularFile(path, *kind);
}

namespace {

// Tag properties in the order items are reported, with their common keys.
// TagLib names each format's own fields alike: TDRC (or TYER in ID3v2.3),
// ©day, WM/Year, ICRD and the APE tag's YEAR all read as DATE, and so on.
struct KeyMapping {
    const char* property;
    const char* commonKey;
};
constexpr KeyMapping kTagLibKeys[] = {
    {"TITLE", "title"},
    {"ARTIST", "artist"},
    {"ALBUM", "albumName"},
    {"GENRE", "genre"},
    {"COMPOSER", "composer"},
    {"ALBUMARTIST", "albumArtist"},
    {"DATE", "date"},
    {"TRACKNUMBER", "trackNumber"},
    {"DISCNUMBER", "discNumber"},
    {"BPM", "bpm"},
    {"COMMENT", "comment"},
};
// FFmpeg's keys are matched without regard to case, so "track" also finds an
// APE tag's "Track". Several keys may give one common key; the last found
// wins, as with repeated items.
constexpr KeyMapping kFFmpegKeys[] = {
    {"title", "title"},
    {"artist", "artist"},
    {"album", "albumName"},
    {"genre", "genre"},
    {"composer", "composer"},
    {"album_artist", "albumArtist"},
    {"year", "date"},
    {"date", "date"},
    {"track", "trackNumber"},
    {"disc", "discNumber"},
    {"TBPM", "bpm"},
    {"tmpo", "bpm"},
    {"WM/BeatsPerMinute", "bpm"},
    {"bpm", "bpm"},
    {"comment", "comment"},
};

// A number's text is its first value alone: "3; 4" is no track number, while
// two comments are both worth keeping.
bool takesFirstValueOnly(std::string_view commonKey)
{
    return commonKey == "date" || commonKey == "trackNumber" || commonKey == "discNumber" || commonKey == "bpm";
}

QString toQString(const TagLib::String& s)
{
    // TagLib keeps text as wide characters; converting from them directly
    // saves the intermediate UTF-8 copy.
    return QString::fromWCharArray(s.toCWString(), static_cast<qsizetype>(s.size()));
}

QByteArray toBytes(const TagLib::ByteVector& v)
{
    return QByteArray(v.data(), static_cast<qsizetype>(v.size()));
}

// Several values under one key (two artists) become one text.
QString joined(const TagLib::StringList& values)
{
    if (values.size() == 1)
        return toQString(values.front());
    QStringList parts;
    for (const TagLib::String& v : values)
        parts << toQString(v);
    return parts.join(QStringLiteral("; "));
}

std::optional<QByteArray> firstApic(TagLib::ID3v2::Tag* tag)
{
    if (!tag)
        return std::nullopt;
    const TagLib::ID3v2::FrameList& frames = tag->frameListMap()["APIC"];
    for (TagLib::ID3v2::Frame* frame : frames) {
        if (auto* picture = dynamic_cast<TagLib::ID3v2::AttachedPictureFrame*>(frame))
            return toBytes(picture->picture());
    }
    return std::nullopt;
}

std::optional<QByteArray> firstXiphPicture(TagLib::Ogg::XiphComment* comment)
{
    if (!comment)
        return std::nullopt;
    const TagLib::List<TagLib::FLAC::Picture*> pictures = comment->pictureList();
    if (pictures.isEmpty())
        return std::nullopt;
    return toBytes(pictures.front()->data());
}

// The first embedded picture, looked up where each format keeps pictures.
std::optional<QByteArray> tagLibPicture(TagLib::File* file)
{
    if (auto* mpeg = dynamic_cast<TagLib::MPEG::File*>(file))
        return firstApic(mpeg->ID3v2Tag());
    if (auto* flac = dynamic_cast<TagLib::FLAC::File*>(file)) {
        const TagLib::List<TagLib::FLAC::Picture*> pictures = flac->pictureList();
        if (!pictures.isEmpty())
            return toBytes(pictures.front()->data());
        return firstXiphPicture(flac->xiphComment());
    }
    if (auto* mp4 = dynamic_cast<TagLib::MP4::File*>(file)) {
        TagLib::MP4::Tag* tag = mp4->tag();
        if (!tag || !tag->contains("covr"))
            return std::nullopt;
        const TagLib::MP4::CoverArtList covers = tag->item("covr").toCoverArtList();
        if (covers.isEmpty())
            return std::nullopt;
        return toBytes(covers.front().data());
    }
    if (auto* vorbis = dynamic_cast<TagLib::Ogg::Vorbis::File*>(file))
        return firstXiphPicture(vorbis->tag());
    if (auto* opus = dynamic_cast<TagLib::Ogg::Opus::File*>(file))
        return firstXiphPicture(opus->tag());
    if (auto* asf = dynamic_cast<TagLib::ASF::File*>(file)) {
        TagLib::ASF::Tag* tag = asf->tag();
        if (!tag || !tag->contains("WM/Picture"))
            return std::nullopt;
        const TagLib::ASF::AttributeList pictures = tag->attribute("WM/Picture");
        if (pictures.isEmpty())
            return std::nullopt;
        return toBytes(pictures.front().toPicture().picture());
    }
    if (auto* aiff = dynamic_cast<TagLib::RIFF::AIFF::File*>(file))
        return aiff->hasID3v2Tag() ? firstApic(aiff->tag()) : std::nullopt;
    if (auto* wav = dynamic_cast<TagLib::RIFF::WAV::File*>(file))
        return wav->hasID3v2Tag() ? firstApic(wav->ID3v2Tag()) : std::nullopt;
    return std::nullopt;
}

// ---------------------------------------------------------------------------
// FFmpeg fallback

using ffmpeg::FormatContext;

int audioStreamOf(AVFormatContext* context, const QString& path)
{
    const int index = av_find_best_stream(context, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (index < 0)
        throw MediaReadError(path, QStringLiteral("it holds no audio"));
    return index;
}

// The container's items, then the audio stream's (Ogg keeps its comments
// with the stream).
std::vector<MediaItem> ffmpegItems(const AVFormatContext* context, const AVStream* stream)
{
    std::vector<MediaItem> items;
    for (const AVDictionary* dictionary : {static_cast<const AVDictionary*>(context->metadata), static_cast<const AVDictionary*>(stream->metadata)}) {
        for (const KeyMapping& mapping : kFFmpegKeys) {
            if (const AVDictionaryEntry* entry = av_dict_get(dictionary, mapping.property, nullptr, 0))
                items.push_back({QString::fromLatin1(mapping.commonKey), QString::fromUtf8(entry->value), std::nullopt});
        }
    }
    return items;
}

// What the library imports, and the covers it shows, must come from files
// that are audio by their content, not only by their names.
MediaAsset readWithFFmpeg(const QString& path)
{
    FormatContext context = ffmpeg::open(path, ffmpeg::Recognition::ByContent);
    const int index = audioStreamOf(context.get(), path);
    const AVStream* stream = context->streams[index];

    MediaAsset asset;
    if (context->duration != AV_NOPTS_VALUE && context->duration > 0)
        asset.durationSeconds = static_cast<double>(context->duration) / AV_TIME_BASE;
    else if (stream->duration != AV_NOPTS_VALUE && stream->duration > 0)
        asset.durationSeconds = static_cast<double>(stream->duration) * av_q2d(stream->time_base);
    if (stream->codecpar->sample_rate > 0)
        asset.sampleRate = stream->codecpar->sample_rate;

    asset.items = ffmpegItems(context.get(), stream);
    return asset;
}

std::optional<QByteArray> ffmpegPicture(const QString& path)
{
    FormatContext context = ffmpeg::open(path, ffmpeg::Recognition::ByContent);
    for (unsigned i = 0; i < context->nb_streams; ++i) {
        const AVStream* stream = context->streams[i];
        if ((stream->disposition & AV_DISPOSITION_ATTACHED_PIC) && stream->attached_pic.size > 0)
            return QByteArray(reinterpret_cast<const char*>(stream->attached_pic.data), stream->attached_pic.size);
    }
    return std::nullopt;
}

// ---------------------------------------------------------------------------
// TagLib, on a budget

// What TagLib may read of one file: room for covers of several megabytes,
// far more than the few kilobytes tags and headers take otherwise.
constexpr std::int64_t kTagLibReadBudget = std::int64_t(32) << 20;
// Every read is charged at least this much, so the budget bounds the number
// of reads too: searching, TagLib reads a kilobyte at a time.
constexpr std::int64_t kMinimumReadCharge = std::int64_t(16) << 10;

// Reads of TagLib's streams go through blocks of this size, one per thread:
// TagLib reads a few bytes here and there (a header, the tag it announces,
// the end of the file for another tag), and through stdio each seek threw
// the buffer away and cost a read of its own.
constexpr std::int64_t kBlockBytes = std::int64_t(16) << 10;

// The block last read on this thread, and the stream it belongs to.
struct ReadBlock {
    const void* owner = nullptr;
    std::int64_t start = 0;
    std::int64_t size = 0;
    char bytes[kBlockBytes];
};

ReadBlock& threadReadBlock()
{
    thread_local ReadBlock block;
    return block;
}

// The file, read-only, as TagLib reads it, refusing reads past a budget.
// TagLib looks for tags where each format keeps them, but where a file is
// not what its name says it searches on, a kilobyte at a time, to the end:
// over a sparse file of gigabytes that took minutes. A spent budget reads as
// the end of the file, and the reader then leaves the file to FFmpeg. Opened
// read-only: TagLib opens a file for writing when it may, and closing it
// then tells whoever watches the folder that the song was written. One
// stream is read on one thread.
class BudgetedFileStream final : public TagLib::IOStream {
public:
    explicit BudgetedFileStream(const QByteArray& path)
        : m_path(path)
        , m_fd(::open(path.constData(), O_RDONLY | O_CLOEXEC))
    {
        struct stat info {};
        if (m_fd >= 0 && ::fstat(m_fd, &info) == 0)
            m_size = static_cast<std::int64_t>(info.st_size);
    }
    ~BudgetedFileStream() override
    {
        // Another stream made later at the same address must not take this
        // one's block for its own.
        if (ReadBlock& block = threadReadBlock(); block.owner == this)
            block.owner = nullptr;
        if (m_fd >= 0)
            ::close(m_fd);
    }
    BudgetedFileStream(const BudgetedFileStream&) = delete;
    BudgetedFileStream& operator=(const BudgetedFileStream&) = delete;

    bool isSpent() const { return m_spent; }

    TagLib::FileName name() const override { return m_path.constData(); }

    // A request is charged before anything is allocated for it: a tag may
    // declare any size up to 256 MB.
    TagLib::ByteVector readBlock(unsigned long length) override
    {
        const std::int64_t left = std::max<std::int64_t>(0, m_size - m_position);
        const std::int64_t wanted = std::min<std::int64_t>(static_cast<std::int64_t>(length), left);
        const std::int64_t charge = std::max(wanted, kMinimumReadCharge);
        if (m_spent || charge > m_budget) {
            m_spent = true;
            return {};
        }
        m_budget -= charge;
        if (wanted == 0)
            return {};
        TagLib::ByteVector bytes(static_cast<unsigned int>(wanted));
        const std::int64_t read = readAt(bytes.data(), wanted);
        if (read < wanted)
            bytes.resize(static_cast<unsigned int>(read));
        return bytes;
    }

    void writeBlock(const TagLib::ByteVector&) override {}
    void insert(const TagLib::ByteVector&, unsigned long, unsigned long) override {}
    void removeBlock(unsigned long, unsigned long) override {}
    bool readOnly() const override { return true; }
    bool isOpen() const override { return m_fd >= 0; }
    // Like fseek: a position before the start is refused, one past the end
    // reads nothing.
    void seek(long offset, Position position) override
    {
        const std::int64_t from = position == Beginning ? 0 : position == Current ? m_position : m_size;
        if (from + offset >= 0)
            m_position = from + offset;
    }
    void clear() override {}
    long tell() const override { return static_cast<long>(m_position); }
    long length() override { return static_cast<long>(m_size); }
    void truncate(long) override {}

private:
    // Copies `count` bytes from the current position, through the thread's
    // block for small reads and straight from the file for large ones (a
    // cover); the number copied, short at the end of the file or on an error.
    std::int64_t readAt(char* into, std::int64_t count)
    {
        ReadBlock& block = threadReadBlock();
        std::int64_t copied = 0;
        while (copied < count) {
            const bool held = block.owner == this && m_position >= block.start && m_position < block.start + block.size;
            if (!held) {
                if (count - copied >= kBlockBytes / 2) {
                    const ssize_t read = ::pread(m_fd, into + copied, static_cast<std::size_t>(count - copied), m_position);
                    if (read > 0) {
                        copied += read;
                        m_position += read;
                        continue;
                    }
                    break;
                }
                block.owner = this;
                block.start = m_position - m_position % kBlockBytes;
                const ssize_t read = ::pread(m_fd, block.bytes, sizeof block.bytes, block.start);
                block.size = std::max<ssize_t>(read, 0);
                if (m_position >= block.start + block.size)
                    break;
            }
            const std::int64_t part = std::min(count - copied, block.start + block.size - m_position);
            std::memcpy(into + copied, block.bytes + (m_position - block.start), static_cast<std::size_t>(part));
            copied += part;
            m_position += part;
        }
        return copied;
    }

    QByteArray m_path;
    int m_fd;
    std::int64_t m_size = 0;
    std::int64_t m_position = 0;
    std::int64_t m_budget = kTagLibReadBudget;
    bool m_spent = false;
};

// TagLib takes an MPEG stream to start at the first frame header whose next
// header agrees with it, and a megabyte of random bytes holds such a pair now
// and then. Audio is a run of frames of one version, layer and rate: four in
// a row, or as many as come before the file ends.
bool startsWithFrameRun(TagLib::MPEG::File& file)
{
    constexpr int kFrames = 4;
    long offset = file.firstFrameOffset();
    if (offset < 0)
        return false;
    const long end = file.length();
    std::optional<TagLib::MPEG::Header> first;
    for (int frame = 0; frame < kFrames; ++frame) {
        if (offset >= end)
            return frame > 0;
        const TagLib::MPEG::Header header(&file, offset, false);
        if (!header.isValid() || header.frameLength() <= 0)
            return false;
        if (!first)
            first.emplace(header);
        else if (header.version() != first->version() || header.layer() != first->layer() || header.sampleRate() != first->sampleRate())
            return false;
        offset += header.frameLength();
    }
    return true;
}

// One file as TagLib read it. TagLib does not own the stream, so the
// reference, declared last, is destroyed first.
struct TagLibFile {
    std::unique_ptr<BudgetedFileStream> stream;
    std::unique_ptr<TagLib::FileRef> ref;
};

// Whether a file's audio properties are read as well as its tags. Without
// them a file is still checked to be of its type: TagLib refuses a file
// whose signature does not match, and an MPEG file needs its run of frames.
enum class AudioProperties { Read, Skip };

// TagLib picks the file type from the extension. A file it cannot open, one
// without audio properties (when they are read), an MPEG file without a run
// of frames and one that would cost more than the budget go to FFmpeg
// instead.
std::optional<TagLibFile> openWithTagLib(const QString& path, AudioProperties audio)
{
    requireRegularFile(path);
    TagLibFile file {std::make_unique<BudgetedFileStream>(QFile::encodeName(path)), nullptr};
    if (!file.stream->isOpen())
        return std::nullopt;
    const bool withAudio = audio == AudioProperties::Read;
    file.ref = std::make_unique<TagLib::FileRef>(file.stream.get(), withAudio, TagLib::AudioProperties::Average);
    const TagLib::FileRef& ref = *file.ref;
    if (ref.isNull() || !ref.file()->isValid())
        return std::nullopt;
    if (withAudio && (!ref.audioProperties() || ref.audioProperties()->sampleRate() <= 0))
        return std::nullopt;
    if (auto* mpeg = dynamic_cast<TagLib::MPEG::File*>(ref.file()); mpeg && !startsWithFrameRun(*mpeg))
        return std::nullopt;
    if (file.stream->isSpent())
        return std::nullopt;
    return file;
}

std::vector<MediaItem> tagLibItems(TagLib::File& file)
{
    std::vector<MediaItem> items;
    const TagLib::PropertyMap properties = file.properties();
    for (const KeyMapping& mapping : kTagLibKeys) {
        const auto found = properties.find(mapping.property);
        if (found == properties.end() || found->second.isEmpty())
            continue;
        const QString text = takesFirstValueOnly(mapping.commonKey) ? toQString(found->second.front()) : joined(found->second);
        items.push_back({QString::fromLatin1(mapping.commonKey), text, std::nullopt});
    }
    return items;
}

} // namespace

MediaAsset TagLibMediaReader::read(const QString& path) const
{
    const std::optional<TagLibFile> file = openWithTagLib(path, AudioProperties::Read);
    if (!file)
        return readWithFFmpeg(path);

    MediaAsset asset;
    const TagLib::AudioProperties* audio = file->ref->audioProperties();
    asset.durationSeconds = static_cast<double>(audio->lengthInMilliseconds()) / 1000.0;
    asset.sampleRate = audio->sampleRate();
    asset.items = tagLibItems(*file->ref->file());
    return asset;
}

std::vector<MediaItem> TagLibMediaReader::readTags(const QString& path) const
{
    if (const std::optional<TagLibFile> file = openWithTagLib(path, AudioProperties::Skip))
        return tagLibItems(*file->ref->file());
    FormatContext context = ffmpeg::open(path, ffmpeg::Recognition::ByContent);
    return ffmpegItems(context.get(), context->streams[audioStreamOf(context.get(), path)]);
}

std::optional<QByteArray> TagLibMediaReader::firstArtwork(const QString& path) const
{
    const std::optional<TagLibFile> file = openWithTagLib(path, AudioProperties::Read);
    if (!file)
        return ffmpegPicture(path);
    return tagLibPicture(file->ref->file());
}

} // namespace varno
