#include "NonRegularFile.h"

#include <QFile>

#include <sys/stat.h>

namespace varno {

std::optional<NonRegularFileKind> nonRegularFileKindOfMode(unsigned mode)
{
    if (S_ISDIR(mode))
        return NonRegularFileKind::Folder;
    if (S_ISFIFO(mode))
        return NonRegularFileKind::NamedPipe;
    if (S_ISCHR(mode))
        return NonRegularFileKind::CharacterDevice;
    if (S_ISBLK(mode))
        return NonRegularFileKind::BlockDevice;
    if (S_ISSOCK(mode))
        return NonRegularFileKind::Socket;
    return std::nullopt;
}

std::optional<NonRegularFileKind> nonRegularFileKind(const QString& path)
{
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return std::nullopt;
    return nonRegularFileKindOfMode(info.st_mode);
}

QString nameWithArticle(NonRegularFileKind kind)
{
    switch (kind) {
    case NonRegularFileKind::Folder:
        return QStringLiteral("a folder");
    case NonRegularFileKind::NamedPipe:
        return QStringLiteral("a named pipe");
    case NonRegularFileKind::CharacterDevice:
        return QStringLiteral("a character device");
    case NonRegularFileKind::BlockDevice:
        return QStringLiteral("a block device");
    case NonRegularFileKind::Socket:
        return QStringLiteral("a socket");
    }
    return {};
}

} // namespace varno
