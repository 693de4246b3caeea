#pragma once

#include <QWidget>

class QToolButton;

namespace varno {

class AudioEngine;
class BusySpinner;
class QueueEngine;

// Shuffle, previous, play/pause and next, left to right. Play/pause follows
// the audio engine's state and shows a spinner while a song is loading;
// shuffle lights up while on. Previous and next go through the queue
// engine, play and pause through the audio engine.
class PlayerTransportControls final : public QWidget {
    Q_OBJECT

public:
    PlayerTransportControls(AudioEngine& audioEngine, QueueEngine& queueEngine, QWidget* parent = nullptr);

    QToolButton* shuffleButton() const { return m_shuffle; }
    QToolButton* previousButton() const { return m_previous; }
    QToolButton* playPauseButton() const { return m_playPause; }
    QToolButton* nextButton() const { return m_next; }
    bool isSpinnerShown() const;

private:
    void showPlaybackState();
    void showShuffleMode();

    AudioEngine& m_audioEngine;
    QueueEngine& m_queueEngine;
    QToolButton* m_shuffle = nullptr;
    QToolButton* m_previous = nullptr;
    QToolButton* m_playPause = nullptr;
    QToolButton* m_next = nullptr;
    BusySpinner* m_spinner = nullptr;
};

} // namespace varno
