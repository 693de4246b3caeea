#include "PlaylistFileActions.h"

#include "platform/Error.h"
#include "playlists/PlaylistFile.h"
#include "playlists/PlaylistFileTransfer.h"
#include "ui/DesktopDialogs.h"
#include "ui/ViewEnvironment.h"

#include <QFileInfo>
#include <QPointer>

namespace varno {

const QString PlaylistFileActions::kImportTitle = QStringLiteral("Import Playlist");
const QString PlaylistFileActions::kImportButton = QStringLiteral("Import");
const QString PlaylistFileActions::kExportTitle = QStringLiteral("Export Playlist");
const QString PlaylistFileActions::kImportFailed = QStringLiteral("The playlist could not be imported");
const QString PlaylistFileActions::kSomeSkipped = QStringLiteral("Some entries of the playlist were skipped");
const QString PlaylistFileActions::kNothingImported = QStringLiteral("No song of the playlist could be imported");
const QString PlaylistFileActions::kExportFailed = QStringLiteral("The playlist could not be exported");

PlaylistFileActions::PlaylistFileActions(ViewEnvironment& environment, QWidget* window, QObject* parent)
    : QObject(parent)
    , m_environment(environment)
    , m_window(window)
{
}

bool PlaylistFileActions::isPlaylistFile(const FileURL& url)
{
    return playlistFileFormat(url.toLocalFile()).has_value();
}

void PlaylistFileActions::chooseAndImport()
{
    std::vector<FileURL> urls = m_environment.dialogs.chooseFiles(m_window, kImportTitle, kImportButton,
                                                                  {QStringLiteral("m3u"), QStringLiteral("m3u8"), QStringLiteral("pls")});
    if (!urls.empty())
        importFiles(std::move(urls));
}

void PlaylistFileActions::importFiles(std::vector<FileURL> urls)
{
    std::erase_if(urls, [](const FileURL& url) { return !isPlaylistFile(url); });
    if (urls.empty())
        return;
    auto importing = importAll(std::move(urls));
}

QCoro::Task<> PlaylistFileActions::importAll(std::vector<FileURL> urls)
{
    const QPointer<PlaylistFileActions> self(this);
    for (const FileURL& url : urls) {
        const QString path = url.toLocalFile();
        const QString fileName = QFileInfo(path).fileName();
        std::optional<PlaylistFileImport> result;
        QString failure;
        try {
            auto importing = importPlaylistFile(m_environment.libraryEngine, m_environment.playlistEngine, path);
            result = co_await std::move(importing);
        } catch (const std::exception& error) {
            failure = describe(error);
        }
        if (!self)
            co_return;
        if (!result) {
            m_environment.dialogs.showWarning(m_window, kImportFailed, failure);
            continue;
        }
        if (result->playlist)
            emit imported(*result->playlist);
        // One message for the file, listing every entry left out.
        if (!result->playlist)
            m_environment.dialogs.showWarning(m_window, kNothingImported, result->skippedMessage(fileName));
        else if (!result->skipped.empty())
            m_environment.dialogs.showWarning(m_window, kSomeSkipped, result->skippedMessage(fileName));
    }
    emit importsFinished();
}

void PlaylistFileActions::chooseAndExport(const Playlist& playlist)
{
    // A name may hold what a file name cannot.
    QString suggested = playlist.name;
    suggested.replace(QLatin1Char('/'), QLatin1Char('-'));
    const std::optional<FileURL> target = m_environment.dialogs.chooseSaveFile(m_window, kExportTitle, suggested + QStringLiteral(".m3u8"));
    if (!target)
        return;
    auto exporting = exportTo(playlist, target->toLocalFile());
}

QCoro::Task<> PlaylistFileActions::exportTo(Playlist playlist, QString path)
{
    const QPointer<PlaylistFileActions> self(this);
    QString failure;
    try {
        auto exporting = exportPlaylistFile(m_environment.playlistEngine, playlist.id, path);
        co_await std::move(exporting);
    } catch (const std::exception& error) {
        failure = describe(error);
    }
    if (!self)
        co_return;
    if (!failure.isEmpty()) {
        m_environment.dialogs.showWarning(m_window, kExportFailed, failure);
        co_return;
    }
    emit exported(path);
}

} // namespace varno
