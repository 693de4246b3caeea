#include "SettingsSlider.h"

#include <QGridLayout>
#include <QLabel>
#include <QSignalBlocker>
#include <QSlider>

#include <algorithm>
#include <cmath>

namespace varno {

namespace {

// Values such as 0.69 are stored a hair below what they mean (68.999… when
// multiplied by 100); the hair is not a fraction the user chose.
constexpr double kRepresentationSlack = 1e-9;

} // namespace

QString pixelsText(double value)
{
    return QString::number(static_cast<long long>(std::trunc(value + std::copysign(kRepresentationSlack, value)))) + QStringLiteral("px");
}

QString percentageText(double value)
{
    const double percent = value * 100;
    return QString::number(static_cast<long long>(std::trunc(percent + std::copysign(kRepresentationSlack, percent)))) + QStringLiteral("%");
}

SettingsSlider::SettingsSlider(const QString& title, double minimum, double maximum, double step, Formatter formatter,
                               QWidget* parent)
    : QWidget(parent)
    , m_minimum(minimum)
    , m_maximum(maximum)
    , m_step(step)
    , m_formatter(std::move(formatter))
    , m_value(minimum)
    , m_title(new QLabel(title, this))
    , m_valueLabel(new QLabel(this))
    , m_slider(new QSlider(Qt::Horizontal, this))
{
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setVerticalSpacing(4);
    m_valueLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_valueLabel->setForegroundRole(QPalette::PlaceholderText);
    grid->addWidget(m_title, 0, 0);
    grid->addWidget(m_valueLabel, 0, 1);
    grid->addWidget(m_slider, 1, 0, 1, 2);
    m_slider->setRange(0, positionOf(maximum));
    m_slider->setAccessibleName(title);
    connect(m_slider, &QSlider::valueChanged, this, [this](int position) {
        m_value = std::min(m_maximum, m_minimum + position * m_step);
        showValue();
        emit valueChanged(m_value);
    });
    showValue();
}

QString SettingsSlider::title() const
{
    return m_title->text();
}

int SettingsSlider::positionOf(double value) const
{
    return int(std::lround((std::clamp(value, m_minimum, m_maximum) - m_minimum) / m_step));
}

void SettingsSlider::setValue(double value)
{
    m_value = std::clamp(value, m_minimum, m_maximum);
    const QSignalBlocker quiet(m_slider);
    m_slider->setValue(positionOf(m_value));
    showValue();
}

QString SettingsSlider::valueText() const
{
    return m_valueLabel->text();
}

void SettingsSlider::showValue()
{
    m_valueLabel->setText(m_formatter(m_value));
}

} // namespace varno
