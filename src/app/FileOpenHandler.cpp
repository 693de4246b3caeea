#include "FileOpenHandler.h"

#include "app/DIContainer.h"
#include "library/AudioImportSupport.h"
#include "platform/Diagnostics.h"
#include "platform/Error.h"
#include "workspace/TrackSorting.h"

#include <QCoroSignal>
#include <QDir>
#include <QFileInfo>
#include <QPointer>
#include <QUrl>

namespace varno {

FileOpenHandler::FileOpenHandler(DIContainer& container, QObject* parent)
    : QObject(parent)
    , m_container(container)
{
}

QStringList FileOpenHandler::toFileUris(const QStringList& arguments)
{
    QStringList uris;
    for (const QString& argument : arguments) {
        const QUrl url(argument);
        QString path;
        if (url.isLocalFile())
            path = url.toLocalFile();
        else if (url.scheme().size() > 1) // "C:" is no scheme, but Linux has no drives either
            printDiagnostic(QStringLiteral("varno: %1: only local files can be opened").arg(argument));
        else
            path = QDir::current().absoluteFilePath(argument);
        if (!path.isEmpty())
            uris.append(QUrl::fromLocalFile(QDir::cleanPath(path)).toString(QUrl::FullyEncoded));
    }
    return uris;
}

void FileOpenHandler::open(const QStringList& uris)
{
    if (uris.isEmpty())
        return;
    // Detached; the task checks after each wait that the handler is alive.
    run(uris);
}

QCoro::Task<> FileOpenHandler::run(QStringList uris)
{
    QPointer<FileOpenHandler> self(this);
    if (!m_container.isBootFinished()) {
        co_await qCoro(&m_container, &DIContainer::bootFinished);
        if (!self)
            co_return;
    }
    LibraryEngine& library = m_container.libraryEngine();

    struct Wanted {
        FileURL url;
        bool isFolder = false;
    };
    std::vector<Wanted> wanted;
    std::vector<FileURL> files;
    std::vector<FileURL> folders;
    for (const QString& uri : uris) {
        const QString path = QUrl(uri).toLocalFile();
        const QFileInfo info(path);
        if (path.isEmpty() || !info.exists()) {
            printDiagnostic(QStringLiteral("varno: %1: No such file or folder").arg(path.isEmpty() ? uri : path));
            continue;
        }
        if (info.isDir()) {
            wanted.push_back({FileURL::fromLocalFile(info.absoluteFilePath()), true});
            folders.push_back(wanted.back().url);
        } else if (AudioImportSupport::isSupportedAudioPath(path)) {
            wanted.push_back({FileURL::fromLocalFile(info.absoluteFilePath()), false});
            files.push_back(wanted.back().url);
        } else {
            printDiagnostic(QStringLiteral("varno: %1: the file type is not supported").arg(path));
        }
    }
    try {
        if (!files.empty()) {
            auto importing = library.importFiles(std::move(files));
            co_await importing;
        }
        if (self && !folders.empty()) {
            auto adding = library.addFolders(std::move(folders));
            co_await adding;
        }
    } catch (const std::exception& error) {
        // What did import still plays.
        printDiagnostic(describe(error));
    }
    if (!self)
        co_return;

    TrackList songs;
    const TrackList& all = library.allTracks();
    for (const Wanted& item : wanted) {
        if (!item.isFolder) {
            const auto found = std::find_if(all.begin(), all.end(), [&](const Track& t) { return t.fileURL == item.url; });
            if (found != all.end())
                songs.append(found.shared());
            continue;
        }
        const QString prefix = item.url.toLocalFile() + QLatin1Char('/');
        TrackList inFolder;
        for (auto it = all.begin(); it != all.end(); ++it) {
            if (it->fileURL.toLocalFile().startsWith(prefix))
                inFolder.append(it.shared());
        }
        // A folder is usually an album or a shelf of them: it plays as the
        // song list sorted by album lists it, each album in disc and track
        // order, whatever its files are named.
        songs.append(sortedTracks(inFolder, {TrackSortField::Album, true}, trackCollator()));
    }
    if (!songs.empty())
        m_container.queueEngine().playNow(songs, 0);
    emit finished();
}

} // namespace varno
