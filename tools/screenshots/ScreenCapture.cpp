#include "ScreenCapture.h"

#include "DemoLibrary.h"
#include "playlists/PlaylistEngine.h"
#include "ui/MainWindow.h"
#include "library/LibraryEngine.h"
#include "ui/albums/AlbumBrowserView.h"
#include "ui/editors/EditorSheetPresenter.h"
#include "ui/editors/TrackMetadataEditorSheet.h"
#include "ui/inspector/NowPlayingPanelView.h"
#include "ui/settings/SettingsView.h"
#include "ui/songs/TrackListView.h"
#include "ui/songs/TrackTableModel.h"
#include "ui/songs/TrackTableView.h"
#include "ui/window/MainLayoutView.h"

#include <QCoroTimer>
#include <QLineEdit>
#include <QListView>
#include <QHash>
#include <QMenu>
#include <QPainter>
#include <QPointer>
#include <QTimer>

namespace varno::screenshots {

double dominantColourShare(const QImage& image)
{
    if (image.isNull())
        return 1.0;
    QHash<QRgb, int> counts;
    int samples = 0;
    const int step = std::max(1, std::min(image.width(), image.height()) / 200);
    for (int y = 0; y < image.height(); y += step) {
        for (int x = 0; x < image.width(); x += step) {
            ++counts[image.pixel(x, y) | 0xff000000u];
            ++samples;
        }
    }
    int most = 0;
    for (const int count : std::as_const(counts))
        most = std::max(most, count);
    return samples == 0 ? 1.0 : double(most) / samples;
}

QCoro::Task<> settle(int milliseconds)
{
    QTimer timer;
    timer.setSingleShot(true);
    timer.start(milliseconds);
    co_await qCoro(timer).waitForTimeout();
}

void saveCapture(MainWindow& window, const QString& path)
{
    window.grab().save(path);
}

QCoro::Task<QStringList> captureMainScreens(MainWindow& window, QString folder)
{
    MainLayoutView& layout = window.layoutView();
    PlaylistEngine& playlists = layout.environment().playlistEngine;
    QStringList written;
    auto capture = [&](const QString& name) {
        const QString path = folder + QLatin1Char('/') + name;
        saveCapture(window, path);
        written << path;
    };

    layout.setSelection(NavigationDestination::songs());
    co_await settle(1200);
    capture(QStringLiteral("songs.png"));

    for (const Playlist& playlist : playlists.rootPlaylists()) {
        if (playlist.name == kShowcasePlaylist)
            layout.setSelection(NavigationDestination::playlist(playlist.id));
    }
    co_await settle(1200);
    capture(QStringLiteral("playlist.png"));

    layout.setSelection(NavigationDestination::favorites());
    co_await settle(1200);
    capture(QStringLiteral("favorites.png"));

    layout.setSelection(NavigationDestination::songs());
    layout.setQueueVisible(true);
    co_await settle(1200);
    capture(QStringLiteral("queue.png"));
    layout.setQueueVisible(false);
    co_return written;
}

QCoro::Task<QStringList> captureFolderPlaylist(MainWindow& window, QString folder)
{
    MainLayoutView& layout = window.layoutView();
    PlaylistEngine& playlists = layout.environment().playlistEngine;
    QStringList written;
    for (const Playlist& shelf : playlists.rootPlaylists()) {
        if (shelf.name != kShowcaseFolder)
            continue;
        for (const Playlist& inner : playlists.childrenOf(shelf.id)) {
            // Chosen as a click in the sidebar would: the folder opens.
            if (inner.name == kFolderedPlaylist)
                layout.setSelection(NavigationDestination::playlist(inner.id));
        }
    }
    co_await settle(1200);
    const QString path = folder + QStringLiteral("/folder-playlist.png");
    saveCapture(window, path);
    written << path;
    layout.setSelection(NavigationDestination::songs());
    co_return written;
}

QCoro::Task<QStringList> captureWindowSizes(MainWindow& window, QString folder)
{
    MainLayoutView& layout = window.layoutView();
    QStringList written;
    const QSize before = window.size();
    layout.setSelection(NavigationDestination::songs());
    for (const QSize size : {QSize(900, 650), QSize(1320, 820)}) {
        window.resize(size);
        for (const bool queue : {false, true}) {
            layout.setQueueVisible(queue);
            co_await settle(800);
            const QString path = folder + QStringLiteral("/window-%1x%2%3.png").arg(size.width()).arg(size.height()).arg(queue ? QStringLiteral("-queue") : QString());
            saveCapture(window, path);
            written << path;
        }
    }
    layout.setQueueVisible(false);
    window.resize(before);
    co_await settle(300);
    co_return written;
}

QCoro::Task<QStringList> captureAlbumScreens(MainWindow& window, QString folder)
{
    MainLayoutView& layout = window.layoutView();
    QStringList written;
    auto capture = [&](const QString& name) {
        const QString path = folder + QLatin1Char('/') + name;
        saveCapture(window, path);
        written << path;
    };

    layout.setSelection(NavigationDestination::albums());
    co_await settle(1500);
    capture(QStringLiteral("albums.png"));
    if (auto* albums = qobject_cast<AlbumBrowserView*>(layout.centreWidget())) {
        albums->openAlbum(albums->grid()->model()->index(0, 0));
        co_await settle(600);
        capture(QStringLiteral("album.png"));
    }
    layout.setSelection(NavigationDestination::artists());
    co_await settle(800);
    capture(QStringLiteral("artists.png"));
    layout.setSelection(NavigationDestination::songs());
    co_return written;
}

QCoro::Task<QStringList> captureSongMenu(MainWindow& window, QString folder)
{
    MainLayoutView& layout = window.layoutView();
    QStringList written;
    layout.setSelection(NavigationDestination::songs());
    co_await settle(600);
    TrackListView* list = layout.visibleTrackList();
    if (!list || list->model().rowCount() < 4)
        co_return written;
    TrackTableView& table = list->table();
    emit table.rowClicked(2, Qt::NoModifier);
    emit table.rowClicked(3, Qt::ShiftModifier);
    co_await settle(600);

    // Popup menus are windows of their own: each is drawn into the window's
    // picture where it shows on screen.
    const QRect row = table.visualRect(list->model().index(3, list->model().columnOf(TrackTableColumnID::Title)));
    QPointer<QMenu> menu = list->makeContextMenu(3);
    // Near the list's left edge, so the submenu has room to open to the
    // right on the offscreen screen.
    menu->popup(table.viewport()->mapToGlobal(QPoint(60, row.center().y())));
    co_await settle(300);
    QAction* add = nullptr;
    for (QAction* action : menu->actions()) {
        if (action->menu() && action->menu()->objectName() == QLatin1String("addToPlaylistMenu"))
            add = action;
    }
    QPointer<QMenu> playlists = add ? add->menu() : nullptr;
    if (playlists) {
        menu->setActiveAction(add);
        playlists->popup(menu->mapToGlobal(menu->actionGeometry(add).topRight() + QPoint(-4, -4)));
        co_await settle(400);
    }
    QImage picture = window.grab().toImage();
    {
        QPainter painter(&picture);
        for (QMenu* shown : {menu.data(), playlists.data()}) {
            if (shown && shown->isVisible())
                painter.drawPixmap(window.mapFromGlobal(shown->mapToGlobal(QPoint(0, 0))), shown->grab());
        }
    }
    const QString path = folder + QStringLiteral("/song-menu.png");
    picture.save(path);
    written << path;
    if (playlists)
        playlists->close();
    if (menu)
        menu->close();
    list->deselectAll();
    co_await settle(300);
    co_return written;
}

QCoro::Task<QStringList> captureInspectorAndSettings(MainWindow& window, QString folder)
{
    MainLayoutView& layout = window.layoutView();
    QStringList written;
    layout.setSelection(NavigationDestination::songs());
    co_await settle(600);
    if (TrackListView* list = layout.visibleTrackList()) {
        // A click on the third row, as the user would choose a song.
        emit list->table().rowClicked(2, Qt::NoModifier);
    }
    co_await settle(1200);
    if (auto* panel = window.findChild<NowPlayingPanelView*>())
        panel->scrollToInspector();
    co_await settle(200);
    const QString inspector = folder + QStringLiteral("/inspector.png");
    saveCapture(window, inspector);
    written << inspector;

    // The song editor with a year and a duration it cannot take: each says
    // what is wrong under its field, and Save is off.
    const TrackList& songs = layout.environment().libraryEngine.allTracks();
    if (!songs.empty()) {
        window.editors().editTrack(songs[0]);
        co_await settle(600);
        if (TrackMetadataEditorSheet* editor = window.editors().trackEditor()) {
            editor->field(TrackMetadataEditorSheet::Field::Year)->setText(QStringLiteral("abc"));
            editor->field(TrackMetadataEditorSheet::Field::Duration)->setText(QStringLiteral("99:99"));
            co_await settle(200);
            const QString path = folder + QStringLiteral("/editor.png");
            editor->grab().save(path);
            written << path;
            editor->reject();
            co_await settle(300);
        }
    }

    window.openSettings();
    co_await settle(800);
    const QString settings = folder + QStringLiteral("/settings.png");
    window.settingsSheet()->grab().save(settings);
    written << settings;
    window.settingsSheet()->close();
    co_return written;
}

} // namespace varno::screenshots
