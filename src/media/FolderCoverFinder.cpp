#include "FolderCoverFinder.h"

#include "media/ArtworkFile.h"
#include "media/ArtworkFileError.h"

#include <QDirIterator>
#include <QFile>

#include <algorithm>
#include <array>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace varno {

namespace {

constexpr std::array<QStringView, 5> kCoverNames {u"cover", u"folder", u"front", u"album", u"albumart"};
constexpr std::array<QStringView, 5> kPictureExtensions {u"jpg", u"jpeg", u"png", u"webp", u"bmp"};

qsizetype indexIn(const auto& list, QStringView word)
{
    const auto found = std::find_if(list.begin(), list.end(), [&](QStringView item) { return item.compare(word, Qt::CaseInsensitive) == 0; });
    return found == list.end() ? -1 : qsizetype(found - list.begin());
}

// The file's bytes when it is a regular file within the size limit and an
// image within the dimension limits, read from the header. Opened without
// blocking and looked at before any byte is read, so a pipe or a device
// named cover.jpg is neither waited on nor read.
std::optional<QByteArray> readPicture(const QString& path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return std::nullopt;
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer {fd};
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size <= 0 || info.st_size > kMaximumArtworkFileBytes)
        return std::nullopt;
    // Read, not mapped: a picture truncated by someone else while mapped
    // would end the process.
    QByteArray bytes(qsizetype(info.st_size), Qt::Uninitialized);
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t got = ::read(fd, bytes.data() + done, size_t(bytes.size() - done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        done += got;
    }
    bytes.truncate(done);
    try {
        validateArtworkData(bytes);
    } catch (const ArtworkFileError&) {
        return std::nullopt;
    }
    return bytes;
}

} // namespace

bool FolderCoverFinder::isPictureName(QStringView fileName)
{
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    return dot > 0 && indexIn(kPictureExtensions, fileName.mid(dot + 1)) >= 0;
}

QStringList FolderCoverFinder::candidates(const QStringList& pictureNames)
{
    struct Ranked {
        qsizetype rank;
        QString name;
    };
    std::vector<Ranked> named;
    for (const QString& name : pictureNames) {
        const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
        if (dot <= 0)
            continue;
        const qsizetype extension = indexIn(kPictureExtensions, QStringView(name).mid(dot + 1));
        const qsizetype base = indexIn(kCoverNames, QStringView(name).left(dot));
        if (extension >= 0 && base >= 0)
            named.push_back({base * qsizetype(kPictureExtensions.size()) + extension, name});
    }
    // Names equal but for case rank alike; the name decides between them so
    // that the answer does not depend on the order of the listing.
    std::sort(named.begin(), named.end(), [](const Ranked& a, const Ranked& b) { return a.rank != b.rank ? a.rank < b.rank : a.name < b.name; });
    QStringList ordered;
    for (Ranked& candidate : named)
        ordered.push_back(std::move(candidate.name));
    if (ordered.isEmpty() && pictureNames.size() == 1)
        ordered.push_back(pictureNames.front());
    return ordered;
}

std::optional<QByteArray> FolderCoverFinder::coverIn(const QString& folder)
{
    const fileio::FileVersion version = fileio::versionOf(folder);
    if (!version.exists) {
        m_answers.remove(folder);
        return std::nullopt;
    }
    if (const auto known = m_answers.constFind(folder); known != m_answers.cend() && known->folderVersion == version) {
        if (!known->picture)
            return std::nullopt;
        if (std::optional<QByteArray> bytes = readPicture(*known->picture))
            return bytes;
        // Rewritten in place into something that cannot serve: the folder
        // is looked at again.
    }

    QStringList pictures;
    QStringList filters;
    for (const QStringView extension : kPictureExtensions)
        filters.push_back(QStringLiteral("*.") + extension.toString());
    // Name filters are matched whatever the case. Hidden files are left out.
    QDirIterator entries(folder, filters, QDir::Files);
    while (entries.hasNext()) {
        entries.next();
        if (isPictureName(entries.fileName()))
            pictures.push_back(entries.fileName());
    }

    Answer answer {version, std::nullopt};
    std::optional<QByteArray> found;
    for (const QString& name : candidates(pictures)) {
        const QString path = folder + QLatin1Char('/') + name;
        found = readPicture(path);
        if (found) {
            answer.picture = path;
            break;
        }
    }
    m_answers.insert(folder, answer);
    return found;
}

void FolderCoverFinder::forget(const QString& folder)
{
    m_answers.remove(folder);
}

void FolderCoverFinder::forgetAll()
{
    m_answers.clear();
}

} // namespace varno
