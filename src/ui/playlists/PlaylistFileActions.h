#pragma once

#include "storage/FileURL.h"
#include "storage/Playlist.h"

#include <QCoroTask>
#include <QObject>
#include <QString>

#include <optional>
#include <vector>

class QWidget;

namespace varno {

struct ViewEnvironment;

// The window's side of playlist files: "Import Playlist…" (a file chooser,
// or files dropped on the sidebar) and "Export…" (a save chooser). An import
// that skipped entries, or failed, says so in one warning; an export that
// failed says why. Dialogs are shown over `window`.
//
// Main thread only.
class PlaylistFileActions final : public QObject {
    Q_OBJECT

public:
    static const QString kImportTitle;
    static const QString kImportButton;
    static const QString kExportTitle;
    static const QString kImportFailed;
    static const QString kSomeSkipped;
    static const QString kNothingImported;
    static const QString kExportFailed;

    PlaylistFileActions(ViewEnvironment& environment, QWidget* window, QObject* parent = nullptr);

    // Whether `url` names a file that can be imported as a playlist.
    static bool isPlaylistFile(const FileURL& url);

    void chooseAndImport();
    // Each of the playlist files among `urls`, one after the other; other
    // files are passed over.
    void importFiles(std::vector<FileURL> urls);
    void chooseAndExport(const Playlist& playlist);

signals:
    // A playlist was made of a file.
    void imported(const varno::Playlist& playlist);
    // Every file handed to importFiles has run its course.
    void importsFinished();
    void exported(const QString& path);

private:
    QCoro::Task<> importAll(std::vector<FileURL> urls);
    QCoro::Task<> exportTo(Playlist playlist, QString path);

    ViewEnvironment& m_environment;
    QWidget* m_window;
};

} // namespace varno
