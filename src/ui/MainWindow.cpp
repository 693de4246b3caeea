#include "MainWindow.h"

#include "ui/DesktopDialogs.h"
#include "ui/ArtworkAccentFollower.h"
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

#include <QHBoxLayout>
#include <QLineEdit>
#include <QMenuBar>
#include <QToolButton>

namespace varno {

MainWindow::MainWindow(WindowEngines engines, WorkspacePanelState& panelState, TrackTableLayoutState& trackTableLayout,
                       DesktopDialogs& dialogs, QWidget* parent)
    : QMainWindow(parent)
    , m_engines(engines)
    , m_dialogs(dialogs)
    , m_inspection(panelState)
{
    setWindowTitle(QStringLiteral("VARNO MUSIC"));
    setObjectName(QStringLiteral("mainWindow"));
    resize(kDefaultWidth, kDefaultHeight);

    const ViewEnvironment environment {engines.libraryEngine,      engines.audioEngine,        engines.queueEngine,
                                       engines.playlistEngine,     engines.searchEngine,       engines.artworkCache,
                                       engines.trackEditor,        engines.thumbnailGenerator, engines.waveformGenerator,
                                       engines.themeEngine,        trackTableLayout,           panelState,
                                       m_inspection,               dialogs};
    // The chosen appearance is in force before the first widget is made.
    m_themeApplier = new ThemeApplier(engines.themeEngine, this);
    m_accentFollower = new ArtworkAccentFollower(engines.themeEngine, engines.audioEngine, engines.artworkCache, this);
    m_layout = new MainLayoutView(environment, engines.recoveryMessage, &m_undoStack, this);
    m_themeApplier->addPanel(m_layout->sidebar());
    m_themeApplier->addPanel(m_layout->panelRegion(WorkspacePanelSide::Right)->content());
    setCentralWidget(m_layout);
    setMinimumSize(MainLayoutView::kMinimumWidth, MainLayoutView::kMinimumHeight);

    MainMenuBarCommands::Shell shell;
    shell.openAboutWindow = [this] { openAboutWindow(); };
    shell.chooseFolders = [this] { return m_dialogs.chooseFolders(this, tr("Add Folder to Library")); };
    shell.importPlaylist = [this] { m_layout->sidebar()->playlistFiles()->chooseAndImport(); };
    shell.showWarning = [this](const QString& message, const QString& informative) {
        m_dialogs.showWarning(this, message, informative);
    };
    m_commands = std::make_unique<MainMenuBarCommands>(std::move(shell), engines.libraryEngine, engines.audioEngine,
                                                       engines.queueEngine, panelState);
    m_menuBinder = new MenuBarBinder(*m_commands, *menuBar(), this);
    m_menuBinder->addUndoActions(m_undoStack);
    connect(m_layout, &MainLayoutView::focusedTrackListChanged, this,
            [this](TrackListSelectionCommandTarget* target) { m_commands->setTrackListSelectionCommands(target); });

    // The search field and the About button sit at the end of the menu
    // bar, the window's one tool row.
    auto* corner = new QWidget(menuBar());
    auto* cornerLayout = new QHBoxLayout(corner);
    cornerLayout->setContentsMargins(0, 0, 6, 0);
    m_searchField = new QLineEdit(corner);
    m_searchField->setObjectName(QStringLiteral("searchField"));
    m_searchField->setFixedWidth(300);
    cornerLayout->addWidget(m_searchField);
    m_search = new SearchPopup(engines.searchEngine, engines.queueEngine, *m_searchField, this);
    connect(m_search, &SearchPopup::playlistChosen, this, [this](const QUuid& id) {
        const std::optional<Playlist> playlist = m_engines.playlistEngine.getPlaylist(id);
        const bool isFolder = playlist && playlist->type.kind() == PlaylistType::Kind::Folder;
        m_layout->setSelection(isFolder ? NavigationDestination::folder(id) : NavigationDestination::playlist(id));
    });
    auto* about = new QToolButton(corner);
    about->setObjectName(QStringLiteral("aboutButton"));
    about->setIcon(symbolIcon(u"info.circle"));
    about->setAutoRaise(true);
    about->setToolTip(AboutWindow::kTitle);
    about->setAccessibleName(AboutWindow::kTitle);
    cornerLayout->addWidget(about);
    menuBar()->setCornerWidget(corner, Qt::TopRightCorner);
    connect(about, &QToolButton::clicked, this, &MainWindow::openAboutWindow);

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
        m_settings = new SettingsView(m_engines.themeEngine, m_layout->environment().trackTableLayout, &m_undoStack, this);
    m_settings->open();
    m_settings->raise();
    m_settings->activateWindow();
}

} // namespace varno
