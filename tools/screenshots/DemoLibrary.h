#pragma once

#include <QCoroTask>
#include <QString>

namespace varno {

class DIContainer;

namespace screenshots {

// Writes `songs` short tagged audio files with covers under `folder`, laid
// out by artist and album with believable names, lengths and loudness. A
// dozen recordings are encoded and the rest are tagged copies of them, so a
// few hundred songs take seconds. Throws std::runtime_error on failure.
// `recordingSeconds` above 0 makes every recording that long (tests use
// short ones); 0 gives songs of two to five and a half minutes.
void writeDemoMusic(const QString& folder, int songs, double recordingSeconds = 0);

// Adds `folder` to the library of `container`, rates some songs (a few of
// them favourites), and makes three playlists, a smart playlist and a
// folder holding two more playlists with songs.
QCoro::Task<> fillDemoLibrary(DIContainer& container, QString folder);

// The name of the playlist the screenshots show.
inline const QString kShowcasePlaylist = QStringLiteral("Late Night Drive");
// The folder of older playlists, and the one of them the screenshots open.
inline const QString kShowcaseFolder = QStringLiteral("Archive");
inline const QString kFolderedPlaylist = QStringLiteral("Summer 2019");

} // namespace screenshots
} // namespace varno
