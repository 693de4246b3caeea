#pragma once

#include <QWidget>

#include <functional>

class QLabel;
class QSlider;

namespace varno {

// The value as whole pixels, the fraction dropped: 12.9 → "12px".
QString pixelsText(double value);
// The value as a whole percentage, the fraction dropped: 0.78 → "78%".
QString percentageText(double value);

// A labelled slider over a closed range of values in equal steps, with the
// value's text beside the title. Main thread only.
class SettingsSlider final : public QWidget {
    Q_OBJECT

public:
    using Formatter = std::function<QString(double)>;

    SettingsSlider(const QString& title, double minimum, double maximum, double step, Formatter formatter,
                   QWidget* parent = nullptr);

    QString title() const;
    double value() const { return m_value; }
    // Shows `value` (held to the range, on the nearest step) without
    // announcing it.
    void setValue(double value);
    QString valueText() const;
    QSlider* slider() const { return m_slider; }

signals:
    // The user moved the slider.
    void valueChanged(double value);

private:
    int positionOf(double value) const;
    void showValue();

    double m_minimum;
    double m_maximum;
    double m_step;
    Formatter m_formatter;
    double m_value;
    QLabel* m_title;
    QLabel* m_valueLabel;
    QSlider* m_slider;
};

} // namespace varno
