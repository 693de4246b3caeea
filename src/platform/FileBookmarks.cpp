#include "FileBookmarks.h"

#include <QFile>
#include <QtEndian>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace varno::bookmarks {

namespace {

// Layout, version 1: "VBMK", version byte, device (u64 LE), inode (u64 LE),
// path length (u32 LE), path bytes (the file system's encoding).
constexpr char kMagic[4] = {'V', 'B', 'M', 'K'};
constexpr quint8 kVersion = 1;
constexpr qsizetype kHeaderSize = 4 + 1 + 8 + 8 + 4;

QString systemReason(int errorNumber)
{
    return QString::fromLocal8Bit(std::strerror(errorNumber));
}

template<typename T>
void append(QByteArray& out, T value)
{
    char bytes[sizeof(T)];
    qToLittleEndian(value, bytes);
    out.append(bytes, sizeof(T));
}

} // namespace

QByteArray create(const QString& path)
{
    const QByteArray native = QFile::encodeName(path);
    struct stat info {};
    if (::stat(native.constData(), &info) != 0)
        throw BookmarkError(systemReason(errno));
    QByteArray bookmark;
    bookmark.reserve(kHeaderSize + native.size());
    bookmark.append(kMagic, 4);
    bookmark.append(static_cast<char>(kVersion));
    append<quint64>(bookmark, static_cast<quint64>(info.st_dev));
    append<quint64>(bookmark, static_cast<quint64>(info.st_ino));
    append<quint32>(bookmark, static_cast<quint32>(native.size()));
    bookmark.append(native);
    return bookmark;
}

Record decode(const QByteArray& bookmark)
{
    const QString corrupt = QStringLiteral("The saved bookmark data is damaged.");
    if (bookmark.size() < kHeaderSize || std::memcmp(bookmark.constData(), kMagic, 4) != 0)
        throw BookmarkError(corrupt);
    if (static_cast<quint8>(bookmark[4]) != kVersion)
        throw BookmarkError(QStringLiteral("The saved bookmark was made by a newer version of the app."));
    const char* p = bookmark.constData() + 5;
    Record record;
    record.device = qFromLittleEndian<quint64>(p);
    record.inode = qFromLittleEndian<quint64>(p + 8);
    const quint32 length = qFromLittleEndian<quint32>(p + 16);
    if (length == 0 || static_cast<qsizetype>(length) != bookmark.size() - kHeaderSize)
        throw BookmarkError(corrupt);
    record.path = QFile::decodeName(bookmark.mid(kHeaderSize));
    return record;
}

QString resolve(const QByteArray& bookmark)
{
    const Record record = decode(bookmark);
    struct stat info {};
    if (::stat(QFile::encodeName(record.path).constData(), &info) != 0)
        throw BookmarkError(systemReason(errno));
    return record.path;
}

bool startAccessing(const QString&)
{
    return false;
}

void stopAccessing(const QString&)
{
}

std::optional<QString> unreadableFileReason(const QString& path)
{
    const QByteArray native = QFile::encodeName(path);
    struct stat info {};
    if (::stat(native.constData(), &info) != 0)
        return systemReason(errno);
    // The system has words for a folder; anything else that is not a plain
    // file (a device, a pipe) is named for what it is not.
    if (S_ISDIR(info.st_mode))
        return systemReason(EISDIR);
    if (!S_ISREG(info.st_mode))
        return QStringLiteral("Not a regular file");
    if (::access(native.constData(), R_OK) != 0)
        return systemReason(errno);
    return std::nullopt;
}

} // namespace varno::bookmarks
