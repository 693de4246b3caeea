#include "BottomPlayerView.h"

#include "media/WaveformGenerator.h"
#include "playback/AudioEngine.h"
#include "playback/QueueEngine.h"
#include "ui/Icons.h"
#include "ui/OnScreenWatch.h"
#include "ui/ViewEnvironment.h"
#include "ui/player/CompactWaveformSeekView.h"
#include "ui/player/PlayerBarRules.h"
#include "ui/player/PlayerButtons.h"
#include "ui/player/PlayerEmptyStateView.h"
#include "ui/player/PlayerIssueBanner.h"
#include "ui/player/PlayerRepeatButton.h"
#include "ui/player/PlayerTimeLabel.h"
#include "ui/player/PlayerTrackInfoView.h"
#include "ui/player/PlayerTransportControls.h"
#include "ui/player/PlayerVolumeControl.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QPointer>
#include <QStackedWidget>
#include <QToolButton>
#include <QVBoxLayout>

namespace varno {

namespace {

// The playing song's cover and names take this much of the bar, and give
// way down to the smaller width in a narrow window before the waveform does.
constexpr int kSongAreaWidth = 300;
constexpr int kSongAreaMinimumWidth = 180;

// The bar's own surface: a shade darker than the window, with a hairline
// along its top edge that separates it from the content above.
class PlayerBarSurface final : public QWidget {
public:
    explicit PlayerBarSurface(QWidget* parent)
        : QWidget(parent)
    {
        // It fills itself edge to edge, so a repaint of a time or a bar of
        // the waveform stops here instead of drawing the window beneath.
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), palette().color(QPalette::Window).darker(118));
        QColor line = palette().color(QPalette::WindowText);
        line.setAlphaF(0.08f);
        painter.fillRect(QRect(0, 0, width(), 1), line);
    }
};

} // namespace

BottomPlayerView::BottomPlayerView(const ViewEnvironment& environment, QWidget* parent)
    : QWidget(parent)
    , m_audioEngine(environment.audioEngine)
    , m_queueEngine(environment.queueEngine)
    , m_waveformGenerator(environment.waveformGenerator)
{
    setObjectName(QStringLiteral("player.bar"));
    setAccessibleName(tr("Player"));
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);

    m_banner = new PlayerIssueBanner(m_queueEngine, this);

    auto* surface = new PlayerBarSurface(this);
    surface->setFixedHeight(kBarHeight);
    auto* row = new QHBoxLayout(surface);
    row->setContentsMargins(16, 0, 16, 0);
    row->setSpacing(16);

    m_songArea = new QStackedWidget(surface);
    m_songArea->setMinimumWidth(kSongAreaMinimumWidth);
    m_songArea->setMaximumWidth(kSongAreaWidth);
    m_songArea->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    m_emptyState = new PlayerEmptyStateView(m_songArea);
    m_trackInfo = new PlayerTrackInfoView(m_audioEngine, environment.artworkCache, environment.thumbnailGenerator, m_songArea);
    m_songArea->addWidget(m_emptyState);
    m_songArea->addWidget(m_trackInfo);

    m_controls = new QWidget(surface);
    auto* controls = new QHBoxLayout(m_controls);
    controls->setContentsMargins(0, 0, 0, 0);
    controls->setSpacing(6);
    m_transport = new PlayerTransportControls(m_audioEngine, m_queueEngine, m_controls);
    m_repeat = new PlayerRepeatButton(m_queueEngine, m_controls);
    controls->addWidget(m_transport);
    controls->addWidget(m_repeat);

    m_timeline = new QWidget(surface);
    auto* timeline = new QHBoxLayout(m_timeline);
    timeline->setContentsMargins(0, 0, 0, 0);
    timeline->setSpacing(10);
    m_elapsed = new PlayerTimeLabel(QStringLiteral("player.elapsed"), Qt::AlignRight, m_timeline);
    m_waveform = new CompactWaveformSeekView(m_timeline);
    m_total = new PlayerTimeLabel(QStringLiteral("player.total"), Qt::AlignLeft, m_timeline);
    m_timelineOnScreen = new OnScreenWatch(*m_timeline);
    timeline->addWidget(m_elapsed);
    timeline->addWidget(m_waveform, 1);
    timeline->addWidget(m_total);

    m_volume = new PlayerVolumeControl(m_audioEngine, m_queueEngine, surface);

    m_queueButton = player::makeRoundButton(surface, 30, 16);
    m_queueButton->setObjectName(QStringLiteral("player.queue"));
    m_queueButton->setAccessibleName(player::kQueueLabel);

    // Holds the queue button at the right edge while the song's controls
    // are hidden.
    m_filler = new QWidget(surface);
    m_filler->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);

    row->addWidget(m_songArea);
    row->addWidget(m_controls);
    row->addWidget(m_timeline, 1);
    row->addWidget(m_filler, 1);
    row->addWidget(m_volume);
    row->addWidget(m_queueButton);

    outer->addWidget(m_banner);
    outer->addWidget(surface);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);

    connect(m_waveform, &CompactWaveformSeekView::seekRequested, this, [this](double seconds) { m_audioEngine.seek(seconds); });
    connect(m_queueButton, &QToolButton::clicked, this, [this] { setQueueVisible(!m_isQueueVisible); });

    connect(&m_audioEngine, &AudioEngine::currentTrackChanged, this, &BottomPlayerView::showCurrentTrack);
    connect(&m_audioEngine, &AudioEngine::currentTimeChanged, this, &BottomPlayerView::followPosition);
    connect(m_timelineOnScreen, &OnScreenWatch::onScreenChanged, this, [this](bool onScreen) {
        if (onScreen && m_isPositionBehind)
            showTimes();
    });
    // Loading a song gives it a player, whose duration can differ from the
    // stored one.
    connect(&m_audioEngine, &AudioEngine::playbackStateChanged, this, &BottomPlayerView::showTimes);

    showCurrentTrack();
    showQueueButton();
}

void BottomPlayerView::setQueueVisible(bool visible)
{
    if (visible == m_isQueueVisible)
        return;
    m_isQueueVisible = visible;
    showQueueButton();
    emit queueVisibleChanged(visible);
}

void BottomPlayerView::showQueueButton()
{
    m_queueButton->setToolTip(m_isQueueVisible ? player::kHideQueueHelp : player::kShowQueueHelp);
    player::setModeActive(m_queueButton, QStringLiteral("list.bullet"), m_isQueueVisible);
}

QString BottomPlayerView::elapsedText() const
{
    return m_elapsed->text();
}

QString BottomPlayerView::totalText() const
{
    return m_total->text();
}

bool BottomPlayerView::isShowingSong() const
{
    return m_songArea->currentWidget() == m_trackInfo;
}

void BottomPlayerView::showCurrentTrack()
{
    const bool hasSong = m_audioEngine.currentTrack().has_value();
    m_songArea->setCurrentWidget(hasSong ? static_cast<QWidget*>(m_trackInfo) : m_emptyState);
    m_controls->setVisible(hasSong);
    m_timeline->setVisible(hasSong);
    m_volume->setVisible(hasSong);
    m_filler->setVisible(!hasSong);
    showTimes();
    loadWaveformIfSongChanged();
}

void BottomPlayerView::followPosition()
{
    // The position moves twenty times a second; while nobody can see the
    // times, they wait for the window to come back on screen.
    if (!m_timelineOnScreen->isOnScreen()) {
        m_isPositionBehind = true;
        return;
    }
    showTimes();
}

void BottomPlayerView::showTimes()
{
    m_isPositionBehind = false;
    const std::optional<Track>& track = m_audioEngine.currentTrack();
    const double duration = player::displayedDuration(m_audioEngine.duration(), track ? std::optional(track->duration) : std::nullopt);
    m_elapsed->showSeconds(m_audioEngine.currentTime());
    m_total->showSeconds(duration);
    m_waveform->setDuration(duration);
    m_waveform->setProgress(m_audioEngine.progress());
}

void BottomPlayerView::setWaveform(std::vector<float> peaks, bool loading)
{
    m_waveformPeaks = std::move(peaks);
    m_isWaveformLoading = loading;
    m_waveform->setPeaks(m_waveformPeaks);
    m_waveform->setLoading(loading);
    emit waveformChanged();
}

void BottomPlayerView::loadWaveformIfSongChanged()
{
    const std::optional<Track>& track = m_audioEngine.currentTrack();
    // The same song loaded again (repeat one, a restart) keeps its peaks.
    if (track == m_waveformTrack)
        return;
    m_waveformTrack = track;
    // A newer request makes every older one's answer moot.
    const quint64 generation = ++m_waveformGeneration;
    if (!track) {
        setWaveform({}, false);
        return;
    }
    setWaveform({}, true);
    loadWaveform(*track, generation);
}

QCoro::Task<> BottomPlayerView::loadWaveform(Track track, quint64 generation)
{
    const QPointer<BottomPlayerView> self(this);
    std::optional<Waveform> waveform;
    try {
        auto generating = m_waveformGenerator.generateWaveform(track, player::kWaveformPoints);
        waveform = co_await generating;
    } catch (...) {
        // A song without a usable waveform keeps the placeholder bars; the
        // generator logs what went wrong.
    }
    if (!self || generation != m_waveformGeneration)
        co_return;
    const std::optional<Track>& current = m_audioEngine.currentTrack();
    if (waveform && current && current->id == track.id)
        setWaveform(std::move(waveform->peaks), false);
    else
        setWaveform({}, false);
}

} // namespace varno
