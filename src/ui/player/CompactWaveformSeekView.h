#pragma once

#include <QWidget>

#include <optional>
#include <vector>

namespace varno {

// The player bar's seekable waveform: one bar per few pixels, played bars
// in the accent colour and the rest in the text colour at 26 %. Pressing
// and dragging seeks live (a click is a drag that did not move); while the
// peaks are loading or unknown a placeholder ripple is drawn. It holds no
// playback state: the bar feeds it the peaks, the progress and the
// duration, and hears seekRequested.
//
// Keyboard: Left and Right seek 5 seconds back and forward. Assistive
// technology sees one adjustable element, "Playback waveform", whose value
// is the time text of the shown position.
class CompactWaveformSeekView final : public QWidget {
    Q_OBJECT

public:
    // Seconds moved by one step of the keyboard or of assistive technology.
    static constexpr double kStepSeconds = 5.0;

    explicit CompactWaveformSeekView(QWidget* parent = nullptr);

    const std::vector<float>& peaks() const { return m_peaks; }
    void setPeaks(std::vector<float> peaks);
    double progress() const { return m_progress; }
    void setProgress(double progress);
    // The displayed duration, seconds.
    double duration() const { return m_duration; }
    void setDuration(double seconds);
    bool isLoading() const { return m_isLoading; }
    void setLoading(bool loading);

    // The fraction under the pointer during a drag; none otherwise.
    std::optional<double> scrubProgress() const { return m_scrubProgress; }
    bool isHovering() const { return m_isHovering; }
    // The scrub position while dragging, else the progress, in 0…1.
    double displayedProgress() const;
    // The time of the displayed progress, as the accessible value reads it.
    QString valueText() const;

    // Seeks one step from the displayed position, clamped into the song.
    void stepBy(double seconds);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    void seekRequested(double seconds);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    double fractionAt(double x) const;
    double seekableDuration() const;
    void scrubTo(double x);
    void notifyValueChanged();

    std::vector<float> m_peaks;
    double m_progress = 0;
    double m_duration = 0;
    bool m_isLoading = false;
    std::optional<double> m_scrubProgress;
    bool m_isHovering = false;
    std::optional<double> m_hoverX;
};

} // namespace varno
