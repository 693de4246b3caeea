#include "SongMenu.h"

#include "platform/Error.h"
#include "playback/QueueEngine.h"
#include "playlists/PlaylistEngine.h"
#include "ui/DesktopDialogs.h"
#include "ui/Icons.h"
#include "ui/ViewEnvironment.h"
#include "ui/songs/TrackListTexts.h"

#include <QCoroTask>
#include <QMenu>
#include <QPointer>

namespace varno {

namespace {

// Runs after the menu is gone: the engines outlive every view, the owner
// may not, so the environment's references are copied.
QCoro::Task<> addToPlaylist(ViewEnvironment environment, QPointer<QWidget> owner, TrackList tracks, QUuid playlistID)
{
    std::optional<QString> failure;
    try {
        auto adding = environment.playlistEngine.addTracks(std::move(tracks), playlistID);
        co_await adding;
    } catch (const std::exception& error) {
        failure = describe(error);
    }
    if (failure && owner)
        environment.dialogs.showAlert(owner, songs::kAddToPlaylistFailedTitle, *failure);
}

QCoro::Task<> createWithSongs(ViewEnvironment environment, QPointer<QWidget> owner, TrackList tracks,
                              std::function<void(const Playlist&)> created)
{
    std::optional<QString> failure;
    Playlist playlist;
    try {
        auto creating = environment.playlistEngine.createPlaylist(songs::kNewPlaylistName);
        playlist = co_await creating;
        auto adding = environment.playlistEngine.addTracks(std::move(tracks), playlist.id);
        co_await adding;
    } catch (const std::exception& error) {
        failure = describe(error);
    }
    if (!owner)
        co_return;
    if (failure)
        environment.dialogs.showAlert(owner, songs::kAddToPlaylistFailedTitle, *failure);
    else if (created)
        created(environment.playlistEngine.findPlaylist(playlist.id).value_or(playlist));
}

void addPlaylistItems(QMenu& menu, ViewEnvironment& environment, QWidget* owner, const QList<Playlist>& playlists,
                      const std::function<TrackList()>& songsNow)
{
    if (playlists.isEmpty()) {
        menu.addAction(songs::kNoPlaylists)->setEnabled(false);
        return;
    }
    for (const Playlist& playlist : playlists) {
        switch (playlist.type.kind()) {
        case PlaylistType::Kind::Folder: {
            QMenu* folder = menu.addMenu(symbolIcon(u"folder"), playlist.name);
            addPlaylistItems(*folder, environment, owner, environment.playlistEngine.childrenOf(playlist.id), songsNow);
            break;
        }
        case PlaylistType::Kind::Smart:
            // Its songs are the ones its rules match (or, for an older one,
            // whatever it held): the engine takes none by hand.
            menu.addAction(symbolIcon(u"sparkles"), playlist.name)->setEnabled(false);
            break;
        case PlaylistType::Kind::Standard: {
            QAction* item = menu.addAction(symbolIcon(u"music.note.list"), playlist.name);
            const QUuid id = playlist.id;
            QObject::connect(item, &QAction::triggered, owner, [environment, owner, songsNow, id] {
                auto adding = addToPlaylist(environment, owner, songsNow(), id);
            });
            break;
        }
        }
    }
}

} // namespace

void addSongHandOffItems(QMenu& menu, ViewEnvironment& environment, QWidget* owner, std::function<TrackList()> songsNow,
                         std::function<void(const Playlist&)> created)
{
    QObject::connect(menu.addAction(songs::kPlayNext), &QAction::triggered, owner, [environment, songsNow] {
        if (const TrackList tracks = songsNow(); !tracks.empty())
            environment.queueEngine.playNext(tracks);
    });
    QObject::connect(menu.addAction(songs::kAddToQueue), &QAction::triggered, owner, [environment, songsNow] {
        if (const TrackList tracks = songsNow(); !tracks.empty())
            environment.queueEngine.playLast(tracks);
    });
    QMenu* playlists = menu.addMenu(songs::kAddToPlaylist);
    playlists->setObjectName(QStringLiteral("addToPlaylistMenu"));
    QObject::connect(playlists->addAction(symbolIcon(u"plus"), songs::kNewPlaylistWithSongs), &QAction::triggered, owner,
                     [environment, owner, songsNow, created] {
                         auto creating = createWithSongs(environment, owner, songsNow(), created);
                     });
    playlists->addSeparator();
    addPlaylistItems(*playlists, environment, owner, environment.playlistEngine.rootPlaylists(), songsNow);
}

} // namespace varno
