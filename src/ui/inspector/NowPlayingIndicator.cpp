#include "NowPlayingIndicator.h"

#include "media/ThemeEngine.h"
#include "ui/OnScreenWatch.h"
#include "ui/ThemeApplier.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace varno {

const QString NowPlayingIndicator::kPlayingText = QStringLiteral("Now playing");
const QString NowPlayingIndicator::kPausedText = QStringLiteral("Paused");

class NowPlayingIndicator::Bars final : public QWidget {
public:
    explicit Bars(QWidget* parent)
        : QWidget(parent)
    {
        setFixedSize(14, 12);
    }

    int phase = 0;
    bool moving = false;
    bool playing = false;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QColor colour = playing ? palette().color(QPalette::Highlight).lighter(130) : palette().color(QPalette::PlaceholderText);
        static constexpr double kRest[3] = {0.55, 0.9, 0.7};
        for (int i = 0; i < 3; ++i) {
            const double level = moving ? 0.3 + 0.7 * std::abs(std::sin((phase + i * 3) * 0.45)) : kRest[i];
            const double h = level * height();
            painter.fillRect(QRectF(i * 5.0, height() - h, 3.5, h), colour);
        }
    }
};

NowPlayingIndicator::NowPlayingIndicator(ThemeEngine& theme, QWidget* parent)
    : QWidget(parent)
    , m_theme(theme)
    , m_bars(new Bars(this))
    , m_label(new QLabel(kPausedText, this))
    , m_onScreen(new OnScreenWatch(*this))
{
    setObjectName(QStringLiteral("nowPlayingIndicator"));
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(6);
    row->addWidget(m_bars, 0, Qt::AlignVCenter);
    row->addWidget(m_label, 0, Qt::AlignVCenter);
    row->addStretch(1);
    m_label->setForegroundRole(QPalette::PlaceholderText);
    connect(&m_timer, &QTimer::timeout, this, [this] {
        m_bars->phase = ++m_phase;
        if (--m_framesLeft <= 0) {
            m_timer.stop();
            m_bars->moving = false;
        }
        m_bars->update();
    });
    connect(&m_theme, &ThemeEngine::configurationChanged, this, &NowPlayingIndicator::updateMotion);
    connect(m_onScreen, &OnScreenWatch::onScreenChanged, this, &NowPlayingIndicator::updateMotion);
}

void NowPlayingIndicator::setAnimating(bool animating)
{
    m_animating = animating;
    m_label->setText(animating ? kPlayingText : kPausedText);
    setAccessibleName(m_label->text());
    updateMotion();
}

QString NowPlayingIndicator::text() const
{
    return m_label->text();
}

void NowPlayingIndicator::updateMotion()
{
    // A frame every 90 ms at the "Smooth" speed, faster at "Fast".
    const int interval = ThemeApplier::animationDuration(m_theme.currentConfiguration(), 90);
    const bool wantsMotion = m_animating && interval > 0 && m_onScreen->isOnScreen();
    // A new bounce starts only when motion becomes due: playing starts,
    // or the bars come into sight while the song plays.
    if (wantsMotion && !m_wantsMotion) {
        m_framesLeft = kBounceFrames;
        m_timer.start(std::max(30, interval));
    } else if (!wantsMotion) {
        m_framesLeft = 0;
        m_timer.stop();
    }
    m_wantsMotion = wantsMotion;
    m_bars->moving = m_timer.isActive();
    m_bars->playing = m_animating;
    m_bars->update();
}

} // namespace varno
