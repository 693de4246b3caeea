#pragma once

#include "storage/Track.h"

#include <QCoroTask>
#include <QWidget>

#include <optional>
#include <vector>

class QStackedWidget;
class QToolButton;

namespace varno {

class AudioEngine;
class CompactWaveformSeekView;
class OnScreenWatch;
class PlayerEmptyStateView;
class PlayerIssueBanner;
class PlayerRepeatButton;
class PlayerTimeLabel;
class PlayerTrackInfoView;
class PlayerTransportControls;
class PlayerVolumeControl;
class QueueEngine;
class WaveformGenerator;
struct ViewEnvironment;

// The strip along the bottom of the window: the issue banner over the bar,
// and in the bar the playing song, the transport and repeat controls, the
// waveform with the elapsed and total time, the volume and the queue
// button. With no song loaded the bar shows its empty state and the queue
// button only.
//
// It owns no playback state: it reads the audio and queue engines and calls
// them. Its own state is the current song's waveform (fetched whenever the
// song changes; an answer for a song that is no longer current is never
// shown) and whether the queue panel is shown, which the window follows
// through queueVisibleChanged. Main thread only.
class BottomPlayerView final : public QWidget {
    Q_OBJECT

public:
    // Height of the bar itself, without the banner.
    static constexpr int kBarHeight = 76;

    explicit BottomPlayerView(const ViewEnvironment& environment, QWidget* parent = nullptr);

    const std::vector<float>& waveformPeaks() const { return m_waveformPeaks; }
    bool isWaveformLoading() const { return m_isWaveformLoading; }

    bool isQueueVisible() const { return m_isQueueVisible; }
    // For the window, when it shows or hides the queue panel itself.
    void setQueueVisible(bool visible);

    // The parts, for the window's layout and for tests.
    PlayerIssueBanner* issueBanner() const { return m_banner; }
    PlayerEmptyStateView* emptyState() const { return m_emptyState; }
    PlayerTrackInfoView* trackInfo() const { return m_trackInfo; }
    PlayerTransportControls* transport() const { return m_transport; }
    PlayerRepeatButton* repeatButton() const { return m_repeat; }
    CompactWaveformSeekView* waveform() const { return m_waveform; }
    PlayerVolumeControl* volume() const { return m_volume; }
    QToolButton* queueButton() const { return m_queueButton; }
    QString elapsedText() const;
    QString totalText() const;
    // Whether the song's controls are shown (a song is loaded).
    bool isShowingSong() const;

signals:
    void queueVisibleChanged(bool visible);
    void waveformChanged();

private:
    void showCurrentTrack();
    void followPosition();
    void showTimes();
    void showQueueButton();
    void loadWaveformIfSongChanged();
    void setWaveform(std::vector<float> peaks, bool loading);
    QCoro::Task<> loadWaveform(Track track, quint64 generation);

    AudioEngine& m_audioEngine;
    QueueEngine& m_queueEngine;
    WaveformGenerator& m_waveformGenerator;

    std::vector<float> m_waveformPeaks;
    bool m_isWaveformLoading = false;
    bool m_isQueueVisible = false;
    // The song whose peaks were last asked for, and the request's number:
    // an answer is taken only by the newest request.
    std::optional<Track> m_waveformTrack;
    quint64 m_waveformGeneration = 0;

    PlayerIssueBanner* m_banner = nullptr;
    QStackedWidget* m_songArea = nullptr;
    PlayerEmptyStateView* m_emptyState = nullptr;
    PlayerTrackInfoView* m_trackInfo = nullptr;
    QWidget* m_controls = nullptr;
    PlayerTransportControls* m_transport = nullptr;
    PlayerRepeatButton* m_repeat = nullptr;
    QWidget* m_timeline = nullptr;
    PlayerTimeLabel* m_elapsed = nullptr;
    CompactWaveformSeekView* m_waveform = nullptr;
    PlayerTimeLabel* m_total = nullptr;
    // Whether the times and the waveform can be seen, and whether a
    // position arrived while they could not.
    OnScreenWatch* m_timelineOnScreen = nullptr;
    bool m_isPositionBehind = false;
    QWidget* m_filler = nullptr;
    PlayerVolumeControl* m_volume = nullptr;
    QToolButton* m_queueButton = nullptr;
};

} // namespace varno
