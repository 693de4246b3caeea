#include "FolderWalk.h"

#include "platform/FileIO.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <climits>
#include <cstring>
#include <dirent.h>
#include <memory>
#include <sys/stat.h>

namespace varno {

namespace {

QString pathTooLong()
{
    return QStringLiteral("the path is longer than the system allows (%1 bytes)").arg(PATH_MAX);
}

QString notUtf8()
{
    return QStringLiteral("the name is not valid UTF-8, so the library cannot keep this file");
}

QString systemReason(int errorNumber)
{
    return QString::fromLocal8Bit(std::strerror(errorNumber));
}

// What following a link that failed with `errorNumber` means to a user.
QString brokenLinkReason(int errorNumber)
{
    switch (errorNumber) {
    case ELOOP:
        return QStringLiteral("the link leads to itself or to a loop");
    case ENOENT:
    case ENOTDIR:
        return QStringLiteral("the link leads nowhere: what it names does not exist");
    default:
        return QStringLiteral("the link cannot be followed: ") + systemReason(errorNumber);
    }
}

QString folderCannotBeOpened(int errorNumber)
{
    return QStringLiteral("the folder cannot be opened, so its files cannot be added: ") + systemReason(errorNumber);
}

bool isLink(const QByteArray& native)
{
    struct stat status {};
    return ::lstat(native.constData(), &status) == 0 && S_ISLNK(status.st_mode);
}

QString failure(const QByteArray& name, const QString& reason)
{
    return QFile::decodeName(name) + QStringLiteral(": ") + reason;
}

QByteArray lastComponent(const QByteArray& path)
{
    return path.mid(path.lastIndexOf('/') + 1);
}

class Walker {
public:
    Walker(const std::function<FolderWalk::Choice(const QString&)>& choose, FolderWalk& walk)
        : m_choose(choose)
        , m_walk(walk)
    {
    }

    void walk(const QByteArray& folder);

private:
    const std::function<FolderWalk::Choice(const QString&)>& m_choose;
    FolderWalk& m_walk;
};

void Walker::walk(const QByteArray& folder)
{
    std::unique_ptr<DIR, int (*)(DIR*)> directory(::opendir(folder.constData()), &::closedir);
    if (!directory) {
        // What such a folder holds is unknown, and the user is told so; one
        // that vanished since it was listed (or never was) held nothing.
        const int error = errno;
        if (error == ENAMETOOLONG)
            m_walk.failures.push_back(failure(lastComponent(folder), pathTooLong()));
        else if (error != ENOENT && error != ENOTDIR)
            m_walk.failures.push_back(failure(lastComponent(folder), folderCannotBeOpened(error)));
        return;
    }
    // Subfolders are walked once this folder is closed, so a deep tree never
    // holds more than one directory stream open.
    std::vector<QByteArray> subfolders;
    while (const dirent* entry = ::readdir(directory.get())) {
        const QByteArray name(entry->d_name);
        if (name.startsWith('.'))
            continue;
        const QByteArray native = folder + '/' + name;
        const QString path = QFile::decodeName(native);

        unsigned char type = entry->d_type;
        struct stat status {};
        if (type == DT_UNKNOWN || type == DT_LNK) {
            if (::stat(native.constData(), &status) != 0) {
                // Only an item with a name the walk would take is worth a
                // word: a link called "cover.jpg" that loops is as
                // uninteresting as a cover.
                const int error = errno;
                if (m_choose(path) != FolderWalk::Choice::Take)
                    continue;
                // A file removed since the listing is simply not there.
                if (error == ENAMETOOLONG)
                    m_walk.failures.push_back(failure(name, pathTooLong()));
                else if (isLink(native))
                    m_walk.failures.push_back(failure(name, brokenLinkReason(error)));
                else if (error != ENOENT)
                    m_walk.failures.push_back(failure(name, systemReason(error)));
                continue;
            }
            if (S_ISDIR(status.st_mode)) {
                // Only a folder the listing could not type is entered here; a
                // link to a folder is not.
                if (type == DT_UNKNOWN)
                    subfolders.push_back(native);
                continue;
            }
            type = S_ISREG(status.st_mode) ? DT_REG : DT_UNKNOWN;
        } else if (type == DT_DIR) {
            subfolders.push_back(native);
            continue;
        }

        switch (m_choose(path)) {
        case FolderWalk::Choice::Skip:
            continue;
        case FolderWalk::Choice::Mention:
            m_walk.mentioned.push_back(path);
            continue;
        case FolderWalk::Choice::Take:
            break;
        }
        // A name that does not survive the trip to text and back could never
        // be opened again from what a caller keeps of it.
        if (QFile::encodeName(path) != native)
            m_walk.failures.push_back(failure(name, notUtf8()));
        else if (native.size() >= PATH_MAX)
            m_walk.failures.push_back(failure(name, pathTooLong()));
        else if (type == DT_REG)
            m_walk.files.push_back(path);
        else if (::stat(native.constData(), &status) == 0)
            m_walk.failures.push_back(failure(name, fileio::describeNonRegularFile(status.st_mode)));
        else
            m_walk.failures.push_back(failure(name, systemReason(errno)));
    }
    directory.reset();
    for (const QByteArray& subfolder : subfolders) {
        if (QFile::encodeName(QFile::decodeName(subfolder)) != subfolder) {
            m_walk.failures.push_back(
                failure(lastComponent(subfolder), QStringLiteral("the folder's name is not valid UTF-8, so its files cannot be added")));
            continue;
        }
        walk(subfolder);
    }
}

} // namespace

FolderWalk walkFolders(const std::vector<QString>& folders, const std::function<FolderWalk::Choice(const QString& path)>& choose)
{
    FolderWalk found;
    Walker walker(choose, found);
    for (const QString& folder : folders)
        walker.walk(QFile::encodeName(QDir::cleanPath(folder)));
    return found;
}

std::optional<QString> describeBrokenLink(const QString& path)
{
    const QByteArray native = QFile::encodeName(path);
    struct stat status {};
    if (!isLink(native) || ::stat(native.constData(), &status) == 0)
        return std::nullopt;
    return brokenLinkReason(errno);
}

} // namespace varno
