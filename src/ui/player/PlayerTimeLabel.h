#pragma once

#include <QLabel>

namespace varno {

// The elapsed or total time beside the waveform, in the fixed-width face
// and a dimmed colour. Its size is fixed to the widest time it can show
// ("00:00:00" in its font), so a new text repaints the label alone: a label
// whose size may change would have every layout of the window around it
// worked out again once a second while a song plays.
class PlayerTimeLabel final : public QLabel {
    Q_OBJECT

public:
    PlayerTimeLabel(const QString& objectName, Qt::Alignment alignment, QWidget* parent = nullptr);

    // Shows `seconds` as a time ("3:07"). The playing position arrives
    // twenty times a second; the text is made only when the whole second
    // shown changes.
    void showSeconds(double seconds);

protected:
    void changeEvent(QEvent* event) override;

private:
    void fitFont();

    long long m_shownSecond = 0;
};

} // namespace varno
