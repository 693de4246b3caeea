// The Albums screen over a library of 100,000 songs in about 8,000 albums,
// offscreen, on the real engines: grouping the songs into albums, the first
// frame of the grid (under 100 ms), opening the screen again, painting the
// grid after scrolling a page (each frame under 16 ms) and what one edited
// song costs the grid (one dataChanged, no reset). The album catalog is made
// when the engines are, as the window makes it, so the screen opens on the
// albums it grouped in the background.

#include "BenchSupport.h"

#include "app/DIContainer.h"
#include "platform/ApplicationIdentity.h"
#include "platform/SettingsPreferencesStore.h"
#include "storage/StateCodecs.h"
#include "ui/DarkPalette.h"
#include "ui/DesktopDialogs.h"
#include "ui/InspectedSongState.h"
#include "ui/albums/AlbumBrowserView.h"
#include "ui/albums/AlbumGridModel.h"
#include "workspace/AlbumCatalog.h"
#include "workspace/AlbumIndex.h"
#include "workspace/TrackTableLayoutState.h"
#include "workspace/WorkspacePanelState.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QListView>
#include <QLoggingCategory>
#include <QPainter>
#include <QScrollBar>
#include <QStyleFactory>
#include <QTemporaryDir>
#include <QThread>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>

using namespace varno;

namespace {

constexpr std::size_t kSongs = 100'000;
// Twelve songs an album, 2,500 artists: about 8,300 albums.
constexpr std::size_t kSongsPerAlbum = 12;
constexpr std::size_t kArtists = 2'500;

// Nobody answers: the benchmarks open no dialog.
class SilentDialogs final : public DesktopDialogs {
public:
    std::vector<FileURL> chooseFiles(QWidget*, const QString&, const QString&, const QStringList&) override { return {}; }
    std::vector<FileURL> chooseFolders(QWidget*, const QString&) override { return {}; }
    std::optional<FileURL> chooseImageFile(QWidget*, const QString&) override { return std::nullopt; }
    std::optional<FileURL> chooseSaveFile(QWidget*, const QString&, const QString&) override { return std::nullopt; }
    bool confirmDestructive(QWidget*, const QString&, const QString&, const QString&) override { return false; }
    void showAlert(QWidget*, const QString&, const QString&) override {}
    void showWarning(QWidget*, const QString&, const QString&) override {}
    void showNotice(QWidget*, const QString&, const QString&) override {}
    void revealFile(const FileURL&) override {}
};

// The synthetic library with its songs gathered into albums of a dozen, each
// album's songs numbered on one or two discs.
std::vector<Track> albumLibrary()
{
    std::vector<Track> songs = bench::syntheticLibrary(kSongs);
    for (std::size_t i = 0; i < songs.size(); ++i) {
        const std::size_t album = i / kSongsPerAlbum;
        songs[i].albumArtist.reset();
        songs[i].artist = QStringLiteral("Artist %1").arg(album % kArtists);
        songs[i].album = QStringLiteral("Album %1").arg(album);
        songs[i].discNumber = static_cast<std::int64_t>(i % kSongsPerAlbum / 8 + 1);
        songs[i].trackNumber = static_cast<std::int64_t>(i % kSongsPerAlbum % 8 + 1);
    }
    return songs;
}

struct Screen {
    std::unique_ptr<DIContainer> container;
    std::unique_ptr<SettingsPreferencesStore> preferences;
    std::unique_ptr<WorkspacePanelState> panels;
    std::unique_ptr<TrackTableLayoutState> layout;
    std::unique_ptr<InspectedSongState> inspection;
    std::unique_ptr<AlbumCatalog> catalog;
    SilentDialogs dialogs;
    std::unique_ptr<AlbumBrowserView> albums;
};

Screen* g_screen = nullptr;
const ViewEnvironment* g_environment = nullptr;

QListView& grid()
{
    return *g_screen->albums->grid();
}

QImage& frame()
{
    static QImage image(grid().viewport()->size(), QImage::Format_ARGB32_Premultiplied);
    return image;
}

void renderTiles()
{
    QPainter painter(&frame());
    grid().viewport()->render(&painter);
}

void BM_BuildIndex(benchmark::State& state)
{
    const TrackList& songs = g_screen->container->libraryEngine().allTracks();
    std::size_t albums = 0;
    for (auto _ : state) {
        AlbumIndex index;
        index.reset(songs);
        albums = index.albums().size();
    }
    state.counters["albums"] = static_cast<double>(albums);
}

// The screen made, shown and painted again, as choosing it in the sidebar
// does each time.
void BM_OpenScreen(benchmark::State& state)
{
    double slowest = 0;
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        AlbumBrowserView view(*g_environment, AlbumBrowserView::Mode::Albums);
        view.resize(1440, 900);
        view.show();
        QCoreApplication::processEvents();
        QImage image(view.grid()->viewport()->size(), QImage::Format_ARGB32_Premultiplied);
        QPainter painter(&image);
        view.grid()->viewport()->render(&painter);
        slowest = std::max(slowest, timer.nsecsElapsed() / 1e6);
        state.PauseTiming();
        painter.end();
        state.ResumeTiming();
    }
    state.counters["slowest_ms"] = slowest;
}

void BM_PaintAfterScrollingOnePage(benchmark::State& state)
{
    QScrollBar* scroll = grid().verticalScrollBar();
    double slowest = 0;
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        const int next = scroll->value() + scroll->pageStep();
        scroll->setValue(next > scroll->maximum() ? 0 : next);
        renderTiles();
        slowest = std::max(slowest, timer.nsecsElapsed() / 1e6);
    }
    state.counters["slowest_ms"] = slowest;
}

// One song edited through the library: what reaches the grid's tiles.
void BM_EditOneSong(benchmark::State& state)
{
    LibraryEngine& library = g_screen->container->libraryEngine();
    AlbumGridModel& model = *g_screen->albums->albums();
    int changed = 0;
    int resets = 0;
    const auto counted = QObject::connect(&model, &QAbstractItemModel::dataChanged,
                                          [&](const QModelIndex&, const QModelIndex&, const QList<int>& roles) {
                                              // Covers arriving are not the edit's doing.
                                              if (roles != QList<int> {Qt::DecorationRole})
                                                  ++changed;
                                          });
    const auto reset = QObject::connect(&model, &QAbstractItemModel::modelReset, [&] { ++resets; });
    std::size_t at = 0;
    for (auto _ : state) {
        Track edited = library.allTracks()[at];
        at = (at + 7919) % library.allTracks().size();
        edited.title = edited.title + QStringLiteral(" (edited)");
        bench::awaitTask(library.updateTrack(edited));
    }
    QObject::disconnect(counted);
    QObject::disconnect(reset);
    state.counters["dataChanged_per_edit"] = changed / static_cast<double>(state.iterations());
    state.counters["resets"] = resets;
}

} // namespace

int main(int argc, char** argv)
{
    QTemporaryDir home;
    qputenv("XDG_DATA_HOME", QFile::encodeName(home.path() + QStringLiteral("/data")));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.path() + QStringLiteral("/config")));
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("VARNO_AUDIO_OUTPUT", "null");
    // The synthetic songs name files that do not exist; their covers are
    // looked for and missed, which is not what is measured here.
    QLoggingCategory::setFilterRules(QStringLiteral("varno.artwork=false"));
    QApplication application(argc, argv);
    applyApplicationIdentity();
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QApplication::setPalette(darkPalette());

    const QString folder = home.path() + QStringLiteral("/data/OstrelMediaStudio");
    QDir().mkpath(folder);
    json::writeTracksFile(folder + QStringLiteral("/tracks.json"), albumLibrary());

    Screen screen;
    g_screen = &screen;
    screen.container = std::make_unique<DIContainer>();
    while (!screen.container->isBootFinished())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    screen.preferences = std::make_unique<SettingsPreferencesStore>();
    screen.panels = std::make_unique<WorkspacePanelState>(*screen.preferences);
    screen.layout = std::make_unique<TrackTableLayoutState>(*screen.preferences);
    screen.inspection = std::make_unique<InspectedSongState>(*screen.panels);
    screen.catalog = std::make_unique<AlbumCatalog>(screen.container->libraryEngine());
    DIContainer& c = *screen.container;
    const ViewEnvironment environment {c.libraryEngine(), c.audioEngine(), c.queueEngine(), c.playlistEngine(), c.searchEngine(), c.artworkCache(),
                                       c.trackEditor(), c.thumbnailGenerator(), c.waveformGenerator(), c.themeEngine(), *screen.layout,
                                       *screen.panels, *screen.inspection, *screen.catalog, screen.dialogs};
    // Let the boot's follow-up work settle, as the song list's benchmark does.
    for (int i = 0; i < 350; ++i) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(20);
    }

    g_environment = &environment;
    if (!screen.catalog->isCurrent())
        std::printf("the albums were still being grouped when the screen opened\n");
    QElapsedTimer shown;
    shown.start();
    screen.albums = std::make_unique<AlbumBrowserView>(environment, AlbumBrowserView::Mode::Albums);
    const double built = shown.nsecsElapsed() / 1e6;
    screen.albums->resize(1440, 900);
    screen.albums->show();
    QCoreApplication::processEvents();
    renderTiles();
    const double firstFrame = shown.nsecsElapsed() / 1e6;
    std::printf("albums: %d; screen built in %.1f ms, shown with its first frame painted after %.1f ms\n",
                screen.albums->albums()->rowCount(), built, firstFrame);

    benchmark::RegisterBenchmark("Albums/BuildIndex", BM_BuildIndex)->Unit(benchmark::kMillisecond)->Iterations(5);
    benchmark::RegisterBenchmark("Albums/OpenScreen", BM_OpenScreen)->Unit(benchmark::kMillisecond)->Iterations(5);
    benchmark::RegisterBenchmark("Albums/PaintAfterScrollingOnePage", BM_PaintAfterScrollingOnePage)->Unit(benchmark::kMillisecond)->Iterations(200);
    benchmark::RegisterBenchmark("Albums/EditOneSong", BM_EditOneSong)->Unit(benchmark::kMillisecond)->Iterations(10);

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    screen.albums.reset();
    g_screen = nullptr;
    return 0;
}
