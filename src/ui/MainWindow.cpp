#include "MainWindow.h"

#include "ui/DesktopDialogs.h"
#include "ui/ArtworkAccentFollower.h"
#include "ui/FocusRing.h"
#include "ui/Icons.h"
#include "ui/ThemeApplier.h"
#include "ui/settings/SettingsView.h"
#include "ui/editors/EditorSheetPresenter.h"
#include "ui/playlists/PlaylistFileActions.h"
#include "ui/sidebar/SidebarView.h"
#include "ui/window/AboutWindow.h"
#include "ui/window/MainLayoutView.h"
#include "ui/window/MenuBarBinder.h"
#include "ui/window/SearchPopup.h"
#include "ui/window/WorkspacePanelRegion.h"
#include "ui/songs/TrackListView.h"
#include "playlists/PlaylistEngine.h"
#include "workspace/MainMenuBarCommands.h"
#include "workspace/WindowMemory.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QAction>
#include <QApplication>
#include <QGuiApplication>
#include <QMenuBar>
#include <QScreen>
#include <QToolButton>

namespace varno {

MainWindow::MainWindow(WindowEngines engines, WorkspacePanelState& panelState, TrackTableLayoutState& trackTableLayout, WindowMemory& memory,
                       DesktopDialogs& dialogs, QWidget* parent)
    : QMainWindow(parent)
    , m_engines(engines)
    , m_memory(memory)
    , m_dialogs(dialogs)
    , m_inspection(panelState)
    , m_albumCatalog(engines.libraryEngine)
    , m_focusRegions([this] {
        QList<FocusRegions::Region> regions {{m_toolRow, m_searchField}};
        if (m_layout)
            regions += m_layout->focusRegions();
        return regions;
    })
{
    setWindowTitle(QStringLiteral("VARNO MUSIC"));
    setObjectName(QStringLiteral("mainWindow"));
    resize(kDefaultWidth, kDefaultHeight);

    const ViewEnvironment environment {engines.libraryEngine,      engines.audioEngine,        engines.queueEngine,
                                       engines.playlistEngine,     engines.searchEngine,       engines.artworkCache,
                                       engines.trackEditor,        engines.thumbnailGenerator, engines.waveformGenerator,
                                       engines.themeEngine,        trackTableLayout,           panelState,
                                       m_inspection,               m_albumCatalog,
                                       dialogs};
    // The chosen appearance is in force before the first widget is made.
    m_themeApplier = new ThemeApplier(engines.themeEngine, this);
    m_accentFollower = new ArtworkAccentFollower(engines.themeEngine, engines.audioEngine, engines.artworkCache, this);
    m_layout = new MainLayoutView(environment, engines.recoveryMessage, &m_undoStack, memory, this);
    m_themeApplier->addPanel(m_layout->sidebar());
    m_themeApplier->addPanel(m_layout->panelRegion(WorkspacePanelSide::Right)->content());
    setCentralWidget(m_layout);
    setMinimumSize(MainLayoutView::kMinimumWidth, MainLayoutView::kMinimumHeight);
    restorePlacement();

    MainMenuBarCommands::Shell shell;
    shell.openAboutWindow = [this] { openAboutWindow(); };
    shell.chooseFolders = [this] { return m_dialogs.chooseFolders(this, tr("Add Folder to Library")); };
    shell.importPlaylist = [this] { m_layout->sidebar()->playlistFiles()->chooseAndImport(); };
    shell.showWarning = [this](const QString& message, const QString& informative) {
        m_dialogs.showWarning(this, message, informative);
    };
    shell.showNotice = [this](const QString& message, const QString& informative) {
        m_dialogs.showNotice(this, message, informative);
    };
    // Quitting is closing the window: the application ends when its last
    // window closes, writing the session on the way out.
    shell.quit = [this] { close(); };
    shell.focusSearch = [this] {
        m_searchField->setFocus(Qt::ShortcutFocusReason);
        m_searchField->selectAll();
    };
    m_commands = std::make_unique<MainMenuBarCommands>(std::move(shell), engines.libraryEngine, engines.audioEngine,
                                                       engines.queueEngine, panelState);
    m_menuBinder = new MenuBarBinder(*m_commands, *menuBar(), this);
    m_menuBinder->addUndoActions(m_undoStack);
    connect(m_layout, &MainLayoutView::focusedTrackListChanged, this,
            [this](TrackListSelectionCommandTarget* target) { m_commands->setTrackListSelectionCommands(target); });

    // The search field and the About button sit at the end of the menu
    // bar, the window's one tool row.
    auto* corner = m_toolRow = new QWidget(menuBar());
    corner->setObjectName(QStringLiteral("toolRow"));
    auto* cornerLayout = new QHBoxLayout(corner);
    cornerLayout->setContentsMargins(0, 0, 6, 0);
    m_searchField = new QLineEdit(corner);
    m_searchField->setObjectName(QStringLiteral("searchField"));
    m_searchField->setAccessibleName(tr("Search the Library"));
    m_searchField->setFixedWidth(300);
    cornerLayout->addWidget(m_searchField);
    m_search = new SearchPopup(engines.searchEngine, engines.queueEngine, engines.libraryEngine, *m_searchField, this);
    connect(m_search, &SearchPopup::leaveRequested, m_layout, &MainLayoutView::focusCentre);
    connect(m_search, &SearchPopup::playlistChosen, this, [this](const QUuid& id) {
        const std::optional<Playlist> playlist = m_engines.playlistEngine.findPlaylist(id);
        const bool isFolder = playlist && playlist->type.kind() == PlaylistType::Kind::Folder;
        m_layout->setSelection(isFolder ? NavigationDestination::folder(id) : NavigationDestination::playlist(id));
    });
    connect(m_search, &SearchPopup::artistChosen, m_layout, &MainLayoutView::showArtist);
    connect(m_search, &SearchPopup::albumChosen, m_layout, &MainLayoutView::showAlbum);
    auto* about = new QToolButton(corner);
    about->setObjectName(QStringLiteral("aboutButton"));
    about->setIcon(symbolIcon(u"info.circle"));
    about->setAutoRaise(true);
    about->setToolTip(AboutWindow::kTitle);
    about->setAccessibleName(AboutWindow::kTitle);
    cornerLayout->addWidget(about);
    menuBar()->setCornerWidget(corner, Qt::TopRightCorner);
    connect(about, &QToolButton::clicked, this, &MainWindow::openAboutWindow);

    m_focusRing = new FocusRing(this);

    // F6 and Shift+F6 jump between the window's parts, wherever focus is.
    for (const bool forward : {true, false}) {
        auto* jump = new QAction(forward ? tr("Next Part of the Window") : tr("Previous Part of the Window"), this);
        jump->setObjectName(forward ? QStringLiteral("nextRegion") : QStringLiteral("previousRegion"));
        jump->setShortcut(forward ? QKeySequence(Qt::Key_F6) : QKeySequence(Qt::SHIFT | Qt::Key_F6));
        jump->setShortcutContext(Qt::WindowShortcut);
        connect(jump, &QAction::triggered, this, [this, forward] {
            if (QWidget* entry = m_focusRegions.nextRegionEntry(QApplication::focusWidget(), forward))
                entry->setFocus(forward ? Qt::TabFocusReason : Qt::BacktabFocusReason);
        });
        addAction(jump);
    }

    connect(m_layout, &MainLayoutView::settingsRequested, this, &MainWindow::openSettings);
    m_editors = new EditorSheetPresenter(environment, this);
    connect(m_layout, &MainLayoutView::renameRequested, m_editors, &EditorSheetPresenter::renamePlaylist);
    connect(m_layout, &MainLayoutView::editRequested, m_editors, [this](const TrackList& tracks) {
        if (!tracks.empty())
            m_editors->editTrack(tracks.front());
    });
    connect(m_layout, &MainLayoutView::sharedEditRequested, m_editors,
            [this](TrackListView* list) { m_editors->editShared(list->sharedEditCoordinator()); });
}

MainWindow::~MainWindow()
{
    // The views go first, while the menu commands they report to still
    // exist: closing the window moves focus, and the layout says so.
    disconnect(m_layout, nullptr, this, nullptr);
    delete takeCentralWidget();
}

bool MainWindow::focusNextPrevChild(bool next)
{
    // Every control that does not keep Tab for itself hands it up to the
    // window, which walks the parts in their order.
    if (QWidget* target = m_focusRegions.nextControl(QApplication::focusWidget(), next)) {
        target->setFocus(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
        return true;
    }
    return QMainWindow::focusNextPrevChild(next);
}

void MainWindow::restorePlacement()
{
    const std::optional<WindowPlacement> placement = m_memory.placement();
    if (!placement)
        return;
    QList<ScreenArea> screens;
    for (const QScreen* screen : QGuiApplication::screens())
        screens.append({screen->name(), screen->availableGeometry()});
    const QScreen* primary = QGuiApplication::primaryScreen();
    setGeometry(placeOnScreen(*placement, screens, primary ? primary->name() : QString(), minimumSize()));
    // Shown maximised, the window still knows the size to return to.
    if (placement->isMaximized)
        setWindowState(windowState() | Qt::WindowMaximized);
}

void MainWindow::rememberPlacement()
{
    // Hidden, the window has no place of its own yet (or any longer).
    if (!isVisible() || isMinimized())
        return;
    WindowPlacement placement;
    placement.normalGeometry = normalGeometry();
    placement.isMaximized = isMaximized();
    placement.screenName = screen() ? screen()->name() : QString();
    m_memory.setPlacement(placement);
}

void MainWindow::moveEvent(QMoveEvent* event)
{
    QMainWindow::moveEvent(event);
    rememberPlacement();
}

void MainWindow::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    rememberPlacement();
}

void MainWindow::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange)
        rememberPlacement();
}

void MainWindow::openAboutWindow()
{
    if (!m_about)
        m_about = new AboutWindow(this);
    m_about->present();
}

void MainWindow::openSettings()
{
    // Kept once made: it follows the theme while hidden, so it always opens
    // on the values in force.
    if (!m_settings)
        m_settings = new SettingsView(m_engines.themeEngine, m_layout->environment().trackTableLayout, &m_undoStack, this,
                                      &m_engines.audioEngine);
    m_settings->open();
    m_settings->raise();
    m_settings->activateWindow();
}

} // namespace varno
