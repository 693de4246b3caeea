#pragma once

#include <QCoroTask>
#include <QImage>
#include <QString>
#include <QStringList>

namespace varno {

class MainWindow;

namespace screenshots {

// How much of a capture is one colour: the share of sampled pixels equal to
// the most common one. A blank or half-drawn window is close to 1.
double dominantColourShare(const QImage& image);
// Above this share a capture counts as blank: the empty library's window is
// about two thirds background, a list of songs about a third.
inline constexpr double kMostlyOneColour = 0.85;

// Captures the main screens of a window over a library that has songs,
// playlists and favourites: "songs.png", "playlist.png", "favorites.png"
// and "queue.png" (the song list with the play queue open) in `folder`.
// Each is taken after the screen has had time to load its rows and
// thumbnails. Returns the files written.
QCoro::Task<QStringList> captureMainScreens(MainWindow& window, QString folder);

// Captures a playlist inside a folder opened in the centre, the folder
// open in the sidebar: "folder-playlist.png". Returns the files written.
QCoro::Task<QStringList> captureFolderPlaylist(MainWindow& window, QString folder);

// Captures the song list with every panel open at the smallest window and at
// the default one, each without and with the play queue:
// "window-900x650.png", "window-900x650-queue.png", "window-1320x820.png"
// and "window-1320x820-queue.png". Returns the files written.
QCoro::Task<QStringList> captureWindowSizes(MainWindow& window, QString folder);

// Captures the album screens: "albums.png" (the grid of covers),
// "album.png" (the first album opened) and "artists.png". Returns the files
// written.
QCoro::Task<QStringList> captureAlbumScreens(MainWindow& window, QString folder);

// Captures the right panel's inspector with a song chosen in the list while
// another plays ("inspector.png", the window), the song editor with texts
// it cannot take ("editor.png", the sheet alone) and the settings sheet
// ("settings.png", the sheet alone). Returns the files written.
QCoro::Task<QStringList> captureInspectorAndSettings(MainWindow& window, QString folder);

// Captures the song list's context menu over two selected songs with its
// "Add to Playlist" submenu open ("song-menu.png": the window with both
// menus drawn where they pop up). Returns the files written.
QCoro::Task<QStringList> captureSongMenu(MainWindow& window, QString folder);

// Saves the window as it is now to `path`.
void saveCapture(MainWindow& window, const QString& path);

// Lets the event loop run for `milliseconds`, so timers, thumbnails and
// animations finish.
QCoro::Task<> settle(int milliseconds);

} // namespace screenshots
} // namespace varno
