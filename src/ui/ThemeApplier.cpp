#include "ThemeApplier.h"

#include "media/ThemeEngine.h"

#include <QApplication>
#include <QWidget>

#include <algorithm>
#include <cmath>

namespace varno {

namespace {

// Where a widget's own font size at scale 1 is kept, so repeated changes of
// the scale never drift by rounding.
constexpr const char* kBasePointSize = "varnoBasePointSize";

constexpr int kRowHeight = 44;
constexpr int kCompactRowHeight = 36;
// A row's 32-pixel cover with a pixel above and below.
constexpr int kSmallestRowHeight = 34;

QColor mix(const QColor& a, const QColor& b, double amountOfB)
{
    const double keep = 1.0 - amountOfB;
    return QColor::fromRgbF(float(a.redF() * keep + b.redF() * amountOfB), float(a.greenF() * keep + b.greenF() * amountOfB),
                            float(a.blueF() * keep + b.blueF() * amountOfB));
}

// The radius setting on screen; one window shows one theme.
double g_shownRoundedCorners = ThemeConfiguration().roundedCorners;

qreal scaledRadius(double roundedCorners, qreal atDefault)
{
    return std::max(0.0, atDefault * roundedCorners / 8.0);
}

} // namespace

ThemeApplier::ThemeApplier(ThemeEngine& theme, QObject* parent)
    : QObject(parent)
    , m_theme(theme)
    , m_baseFont(QApplication::font())
    , m_basePalette(QApplication::palette())
{
    connect(&m_theme, &ThemeEngine::configurationChanged, this, &ThemeApplier::apply);
    apply(m_theme.currentConfiguration());
}

ThemeApplier::~ThemeApplier()
{
    // Only the application's own font and palette go back: the window's
    // widgets are on their way out with it.
    QApplication::setFont(m_baseFont);
    QApplication::setPalette(m_basePalette);
    g_shownRoundedCorners = ThemeConfiguration().roundedCorners;
}

void ThemeApplier::addPanel(QWidget* panel)
{
    m_panels.append(panel);
    panel->setAutoFillBackground(true);
    applyPanel(panel, m_theme.currentConfiguration());
}

int ThemeApplier::songRowHeight(const ThemeConfiguration& configuration)
{
    const int base = configuration.isCompactMode ? kCompactRowHeight : kRowHeight;
    return std::max(kSmallestRowHeight, int(std::lround(base * configuration.fontSizeScale)));
}

qreal ThemeApplier::cornerRadius(const ThemeConfiguration& configuration, qreal atDefault)
{
    return scaledRadius(configuration.roundedCorners, atDefault);
}

qreal ThemeApplier::shownCornerRadius(qreal atDefault)
{
    // Called for every row painted, so no configuration is built for it.
    return scaledRadius(g_shownRoundedCorners, atDefault);
}

int ThemeApplier::animationDuration(const ThemeConfiguration& configuration, int baseMilliseconds)
{
    const double multiplier = configuration.animationSpeedMultiplier;
    if (!(multiplier > 0))
        return 0;
    return std::max(1, int(std::lround(baseMilliseconds * multiplier)));
}

QColor ThemeApplier::toColor(const StudioColor& colour)
{
    return QColor::fromRgbF(float(std::clamp(colour.r, 0.0, 1.0)), float(std::clamp(colour.g, 0.0, 1.0)),
                            float(std::clamp(colour.b, 0.0, 1.0)), float(std::clamp(colour.alpha, 0.0, 1.0)));
}

StudioColor ThemeApplier::fromColor(const QColor& colour)
{
    const QColor rgb = colour.toRgb();
    return {rgb.redF(), rgb.greenF(), rgb.blueF(), rgb.alphaF()};
}

QColor ThemeApplier::panelBackground(const ThemeConfiguration& configuration, const QPalette& palette)
{
    // The panel is a darker pane over a backdrop washed with the accent; its
    // opacity is the setting, so a more transparent panel shows more of the
    // accent behind it.
    const QColor window = palette.color(QPalette::Window);
    const QColor pane = window.darker(125);
    const QColor backdrop = mix(window, toColor(configuration.accentColor), 0.22);
    return mix(backdrop, pane, std::clamp(configuration.panelTransparency, 0.0, 1.0));
}

void ThemeApplier::apply(const ThemeConfiguration& configuration)
{
    applyFont(configuration.fontSizeScale);
    if (g_shownRoundedCorners != configuration.roundedCorners) {
        g_shownRoundedCorners = configuration.roundedCorners;
        for (QWidget* window : QApplication::topLevelWidgets())
            window->update();
    }

    QPalette palette = QApplication::palette();
    const QColor accent = toColor(configuration.accentColor);
    // Text on the accent stays readable whatever colour a cover gives.
    const double luma = 0.2126 * accent.redF() + 0.7152 * accent.greenF() + 0.0722 * accent.blueF();
    const QColor onAccent = luma > 0.62 ? QColor(0x16, 0x16, 0x19) : QColor(Qt::white);
    if (palette.color(QPalette::Highlight) != accent || palette.color(QPalette::HighlightedText) != onAccent) {
        palette.setColor(QPalette::Highlight, accent);
        palette.setColor(QPalette::Link, accent);
        palette.setColor(QPalette::HighlightedText, onAccent);
        QApplication::setPalette(palette);
    }
    for (const QPointer<QWidget>& panel : std::as_const(m_panels)) {
        if (panel)
            applyPanel(panel, configuration);
    }
}

void ThemeApplier::applyFont(double scale)
{
    if (!(scale > 0) || scale == m_appliedScale)
        return;
    const double previous = m_appliedScale;
    m_appliedScale = scale;
    QFont font = m_baseFont;
    if (m_baseFont.pointSizeF() > 0)
        font.setPointSizeF(m_baseFont.pointSizeF() * scale);
    else
        font.setPixelSize(std::max(1, int(std::lround(m_baseFont.pixelSize() * scale))));
    QApplication::setFont(font);
    // Widgets that chose a size of their own (titles, captions) keep it
    // through the application font's change; they are scaled here instead,
    // from the size they had at scale 1.
    const QWidgetList widgets = QApplication::allWidgets();
    for (QWidget* widget : widgets) {
        if (!widget->testAttribute(Qt::WA_SetFont) || !(widget->font().resolveMask() & QFont::SizeResolved))
            continue;
        QFont own = widget->font();
        if (own.pointSizeF() <= 0)
            continue;
        QVariant base = widget->property(kBasePointSize);
        if (!base.isValid()) {
            // Made while `previous` was in force, from the font of then.
            base = own.pointSizeF() / previous;
            widget->setProperty(kBasePointSize, base);
        }
        own.setPointSizeF(base.toDouble() * scale);
        widget->setFont(own);
    }
}

void ThemeApplier::applyPanel(QWidget* panel, const ThemeConfiguration& configuration)
{
    QPalette palette = panel->palette();
    palette.setColor(QPalette::Window, panelBackground(configuration, m_basePalette));
    panel->setPalette(palette);
}

} // namespace varno
