#include "SpecialFileKind.h"

#include <QFile>

#include <sys/stat.h>

namespace varno {

std::optional<SpecialFileKind> specialFileKindOfMode(unsigned mode)
{
    if (S_ISDIR(mode))
        return SpecialFileKind::Folder;
    if (S_ISFIFO(mode))
        return SpecialFileKind::NamedPipe;
    if (S_ISCHR(mode))
        return SpecialFileKind::CharacterDevice;
    if (S_ISBLK(mode))
        return SpecialFileKind::BlockDevice;
    if (S_ISSOCK(mode))
        return SpecialFileKind::Socket;
    return std::nullopt;
}

std::optional<SpecialFileKind> specialFileKind(const QString& path)
{
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return std::nullopt;
    return specialFileKindOfMode(info.st_mode);
}

QString nameWithArticle(SpecialFileKind kind)
{
    switch (kind) {
    case SpecialFileKind::Folder:
        return QStringLiteral("a folder");
    case SpecialFileKind::NamedPipe:
        return QStringLiteral("a named pipe");
    case SpecialFileKind::CharacterDevice:
        return QStringLiteral("a character device");
    case SpecialFileKind::BlockDevice:
        return QStringLiteral("a block device");
    case SpecialFileKind::Socket:
        return QStringLiteral("a socket");
    }
    return {};
}

} // namespace varno
