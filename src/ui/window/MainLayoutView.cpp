#include "MainLayoutView.h"

#include "app/DIContainer.h"
#include "playback/QueueEngine.h"
#include "playlists/PlaylistEngine.h"
#include "ui/inspector/NowPlayingPanel.h"
#include "ui/window/ImportProgressStrip.h"
#include "ui/window/RecoveryBanner.h"
#include "ui/window/WorkspacePanelRegion.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace varno {

MainLayoutView::MainLayoutView(DIContainer& container, ViewEnvironment environment, QWidget* parent)
    : QWidget(parent)
    , m_container(container)
    , m_environment(environment)
{
    setObjectName(QStringLiteral("mainLayout"));
    setMinimumSize(kMinimumWidth, kMinimumHeight);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    m_banner = new RecoveryBanner(container, environment.themeEngine, this);
    column->addWidget(m_banner);

    auto* row = new QHBoxLayout;
    row->setSpacing(0);
    auto* sidebarPlaceholder = new QWidget;
    m_left = new WorkspacePanelRegion(WorkspacePanelSide::Left, environment.panelState, environment.themeEngine, sidebarPlaceholder, this);
    m_right = new WorkspacePanelRegion(WorkspacePanelSide::Right, environment.panelState, environment.themeEngine,
                                       new NowPlayingPanel(environment), this);
    auto* centreColumn = new QWidget(this);
    centreColumn->setMinimumWidth(kMinimumCentreWidth);
    auto* centreLayout = new QVBoxLayout(centreColumn);
    centreLayout->setContentsMargins(0, 0, 0, 0);
    centreLayout->setSpacing(0);
    m_centre = new QStackedWidget(centreColumn);
    m_importProgress = new ImportProgressStrip(environment.libraryEngine, centreColumn);
    centreLayout->addWidget(m_centre, 1);
    centreLayout->addWidget(m_importProgress);
    row->addWidget(m_left);
    row->addWidget(centreColumn, 1);
    row->addWidget(m_right);
    column->addLayout(row, 1);

    auto* line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setFixedHeight(1);
    column->addWidget(line);

    connect(&m_environment.queueEngine, &QueueEngine::currentTrackChanged, this, &MainLayoutView::updatePlaybackKeys);
    connect(&m_environment.queueEngine, &QueueEngine::upcomingChanged, this, &MainLayoutView::updatePlaybackKeys);
    connect(&m_environment.queueEngine, &QueueEngine::repeatModeChanged, this, &MainLayoutView::updatePlaybackKeys);
    connect(&m_environment.playlistEngine, &PlaylistEngine::rootPlaylistsChanged, this, &MainLayoutView::showScreen);
    updatePlaybackKeys();
    qApp->installEventFilter(this);
    showScreen();
}

MainLayoutView::~MainLayoutView()
{
    qApp->removeEventFilter(this);
}

void MainLayoutView::setSelection(const std::optional<NavigationDestination>& selection)
{
    m_selection = selection;
    showScreen();
}

QWidget* MainLayoutView::centreWidget() const
{
    return m_centre->currentWidget();
}

WorkspacePanelRegion* MainLayoutView::panelRegion(WorkspacePanelSide side) const
{
    return side == WorkspacePanelSide::Left ? m_left : m_right;
}

TrackListView* MainLayoutView::visibleTrackList() const
{
    return nullptr;
}

bool MainLayoutView::isQueueVisible() const
{
    return false;
}

void MainLayoutView::setQueueVisible(bool)
{
}

void MainLayoutView::showScreen()
{
    m_screen = centreScreenFor(m_selection, m_environment.playlistEngine);
    auto* label = new QLabel(m_screen.title, m_centre);
    m_centre->addWidget(label);
    m_centre->setCurrentWidget(label);
    if (m_transientScreen)
        m_transientScreen->deleteLater();
    m_transientScreen = label;
}

void MainLayoutView::updatePlaybackKeys()
{
    const QueueEngine& queue = m_environment.queueEngine;
    PlaybackNavigationShortcutConfiguration keys;
    keys.canPlayPrevious = queue.currentTrack().has_value();
    keys.canPlayNext = !queue.upcoming().empty() || (queue.currentTrack() && queue.repeatMode() != RepeatMode::Off);
    keys.playPrevious = [this] { m_environment.queueEngine.playPreviousSong(); };
    keys.playNext = [this] { m_environment.queueEngine.advanceToNext(); };
    m_playbackKeys.update(std::move(keys));
}

bool MainLayoutView::eventFilter(QObject* watched, QEvent* event)
{
    // Every key press of the application passes here before the widget with
    // focus sees it; only presses meant for this window's arrows are taken.
    if (event->type() == QEvent::KeyPress && watched->isWidgetType()
        && static_cast<QWidget*>(watched)->window() == window()) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (m_playbackKeys.handleKeyPress(KeyPress::from(*key), ShortcutContext::of(this)))
            return true;
    }
    return QWidget::eventFilter(watched, event);
}

void MainLayoutView::followFocus(QWidget*)
{
}

} // namespace varno
