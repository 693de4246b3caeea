#pragma once

#include "media/ThemeConfiguration.h"

#include <QColor>
#include <QFont>
#include <QList>
#include <QObject>
#include <QPalette>
#include <QPointer>

class QWidget;

namespace varno {

class ThemeEngine;

// Puts the theme engine's configuration on screen, in one place: the
// application's font at the chosen scale (a widget that set a size of its
// own keeps its proportion to the rest), the accent as the palette's
// highlight, and the side panels' backgrounds at the chosen transparency.
// What a view draws from the theme itself (row heights, corner radii,
// animation lengths) it takes from the functions below, so each value means
// the same everywhere.
//
// The font and palette it found are put back when it goes, so a second
// window (or the next test) starts from them. Main thread only.
class ThemeApplier final : public QObject {
    Q_OBJECT

public:
    explicit ThemeApplier(ThemeEngine& theme, QObject* parent = nullptr);
    ~ThemeApplier() override;

    // Panels drawn over the accent-washed backdrop: the more transparent,
    // the more of the accent shows through.
    void addPanel(QWidget* panel);

    // A song-table row: 44 pixels, 36 in compact mode, grown and shrunk with
    // the font, never less than a cover and its margin.
    static int songRowHeight(const ThemeConfiguration& configuration);
    // The corner radius for an element whose own radius at the default
    // setting (8) is `atDefault`; the setting scales all of them alike.
    static qreal cornerRadius(const ThemeConfiguration& configuration, qreal atDefault);
    // The same for the configuration on screen now (the default while no
    // window shows one), for small painters that do not hold the engine; a
    // change repaints every window.
    static qreal shownCornerRadius(qreal atDefault);
    // How long an animation of `baseMilliseconds` runs: "Smooth" (1.0) as
    // designed, "Fast" (0.5) in half the time, 0 (instant, or reduce motion)
    // not at all.
    static int animationDuration(const ThemeConfiguration& configuration, int baseMilliseconds);
    static QColor toColor(const StudioColor& colour);
    static StudioColor fromColor(const QColor& colour);
    // The background of a side panel over `palette`'s window colour.
    static QColor panelBackground(const ThemeConfiguration& configuration, const QPalette& palette);

private:
    void apply(const ThemeConfiguration& configuration);
    void applyFont(double scale);
    void applyPanel(QWidget* panel, const ThemeConfiguration& configuration);

    ThemeEngine& m_theme;
    QFont m_baseFont;
    QPalette m_basePalette;
    double m_appliedScale = 1.0;
    QList<QPointer<QWidget>> m_panels;
};

} // namespace varno
