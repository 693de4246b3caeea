// Starts the real window offscreen over a generated library, plays a song on
// the null output and saves PNGs of the main screens, so the look can be
// judged (and shown in the README) without a display:
//
//   varno-screenshots OUTPUT_FOLDER [SONGS]
//
// Everything runs in a temporary data folder; the user's library is never
// touched. Exits 1 when a capture comes out blank.

#include "DemoLibrary.h"
#include "ScreenCapture.h"

#include "app/DIContainer.h"
#include "app/OstrelMediaStudioApp.h"
#include "platform/ApplicationIdentity.h"
#include "playback/QueueEngine.h"
#include "ui/DarkPalette.h"
#include "ui/MainWindow.h"

#include <QApplication>
#include <QCoroSignal>
#include <QDir>
#include <QTemporaryDir>

#include <cstdio>

using namespace varno;

namespace {

QCoro::Task<> waitForBoot(DIContainer& container)
{
    if (!container.isBootFinished())
        co_await qCoro(&container, &DIContainer::bootFinished);
}

QCoro::Task<> run(QString output, int songs, QString scratch, int* status)
{
    try {
        OstrelMediaStudioApp app;
        app.start();
        MainWindow& window = *app.mainWindow();
        co_await waitForBoot(app.container());
        co_await screenshots::settle(800);
        QStringList written;
        screenshots::saveCapture(window, output + QStringLiteral("/empty-library.png"));
        written << output + QStringLiteral("/empty-library.png");

        const QString music = scratch + QStringLiteral("/music");
        screenshots::writeDemoMusic(music, songs);
        auto filling = screenshots::fillDemoLibrary(app.container(), music);
        co_await filling;

        const TrackList& all = app.container().libraryEngine().allTracks();
        app.container().queueEngine().playNow(all, int(std::min<std::size_t>(4, all.size() - 1)));
        co_await screenshots::settle(1500);
        auto capturing = screenshots::captureMainScreens(window, output);
        written << co_await capturing;
        auto foldered = screenshots::captureFolderPlaylist(window, output);
        written << co_await foldered;
        auto sizes = screenshots::captureWindowSizes(window, output);
        written << co_await sizes;
        auto albums = screenshots::captureAlbumScreens(window, output);
        written << co_await albums;
        auto menus = screenshots::captureSongMenu(window, output);
        written << co_await menus;
        auto inspecting = screenshots::captureInspectorAndSettings(window, output);
        written << co_await inspecting;
        // The sheet took the window's focus, so the session was saved and the
        // state folder changed: its check is let finish before the engines go.
        co_await screenshots::settle(400);
        while (app.container().isStateFolderCheckPending())
            co_await screenshots::settle(50);

        for (const QString& path : std::as_const(written)) {
            const double share = screenshots::dominantColourShare(QImage(path));
            std::printf("%s (%.0f%% one colour)\n", qPrintable(path), share * 100);
            if (share > screenshots::kMostlyOneColour)
                *status = 1;
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "varno-screenshots: %s\n", error.what());
        *status = 1;
    }
    QCoreApplication::exit(*status);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: varno-screenshots OUTPUT_FOLDER [SONGS]\n");
        return 2;
    }
    // A private data folder, preferences and home (so no demo sample is
    // found), and no display or sound device needed.
    QTemporaryDir scratch;
    qputenv("XDG_DATA_HOME", QFile::encodeName(scratch.filePath(QStringLiteral("data"))));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(scratch.filePath(QStringLiteral("config"))));
    qputenv("HOME", QFile::encodeName(scratch.filePath(QStringLiteral("home"))));
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("VARNO_AUDIO_OUTPUT", "null");

    QApplication application(argc, argv);
    applyApplicationIdentity();
    applyApplicationStyle();
    const QString output = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
    QDir().mkpath(output);
    const int songs = argc == 3 ? std::max(1, QString::fromLocal8Bit(argv[2]).toInt()) : 300;

    int status = 0;
    auto task = run(output, songs, scratch.path(), &status);
    application.exec();
    return status;
}
