#pragma once

#include "workspace/WorkspacePanelState.h"
#include "workspace/WorkspaceRowFit.h"

#include <QPointer>
#include <QWidget>

class QGraphicsOpacityEffect;
class QToolButton;
class QVariantAnimation;

namespace varno {

class ThemeEngine;

// The strip between a side panel and the song list: drag it to resize the
// panel, right-click it for lock, collapse and disable. Drawn as a hairline
// with a wider grip.
class WorkspacePanelDivider final : public QWidget {
    Q_OBJECT

public:
    static constexpr int kWidth = workspaceRow::kDividerWidth;

    WorkspacePanelDivider(WorkspacePanelSide side, WorkspacePanelState& state, QWidget* parent = nullptr);

    // The divider's menu items in the panel's present state, in order.
    QStringList menuTitles() const;
    void refresh();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    WorkspacePanelSide m_side;
    WorkspacePanelState& m_state;
    std::optional<double> m_dragOriginX;
    double m_dragOriginWidth = 0;
    bool m_hovered = false;
};

// One side of the workspace row: the panel's content beside its divider
// while expanded, a narrow reveal button while collapsed, nothing while
// disabled. Expanding and collapsing slide the panel in from (and out to)
// its window edge with a fade; the theme's animation speed scales the
// motion and reduce motion makes it instant. Everything it shows comes from
// the panel state and the room the window gives it (fitTo()); it changes that
// state only through its operations.
class WorkspacePanelRegion final : public QWidget {
    Q_OBJECT

public:
    static constexpr int kRevealWidth = workspaceRow::kRevealWidth;

    WorkspacePanelRegion(WorkspacePanelSide side, WorkspacePanelState& state, ThemeEngine& theme, QWidget* content,
                         QWidget* parent = nullptr);

    QWidget* content() const { return m_content; }
    WorkspacePanelDivider* divider() const { return m_divider; }
    QToolButton* revealButton() const { return m_reveal; }
    // 0 while hidden, 1 while fully shown; between the two during motion.
    double revealFraction() const { return m_fraction; }
    bool isAnimating() const;

    // The room the window gives the panel now: its width (the chosen one, or
    // less while the window is narrow), or none at all, when it shows as its
    // reveal button until there is room again.
    void fitTo(const workspaceRow::PanelFit& fit);
    const workspaceRow::PanelFit& fit() const { return m_fit; }
    // The panel shows only its reveal button for lack of room.
    bool isSqueezedOut() const { return m_fit.isSqueezedOut && m_state.isEnabled(m_side) && m_state.isExpanded(m_side); }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    // The reveal button of a panel that has no room was clicked.
    void roomRequested();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    enum class Shape { Hidden, Collapsed, Expanded };

    Shape targetShape() const;
    void follow(bool animate);
    void setFraction(double fraction);
    int panelWidth() const;
    int targetWidth() const;
    void placeChildren();
    void describeReveal();

    WorkspacePanelSide m_side;
    WorkspacePanelState& m_state;
    ThemeEngine& m_theme;
    QWidget* m_content;
    WorkspacePanelDivider* m_divider;
    QToolButton* m_reveal;
    QGraphicsOpacityEffect* m_fade;
    QVariantAnimation* m_animation;
    Shape m_shape = Shape::Expanded;
    double m_fraction = 1.0;
    workspaceRow::PanelFit m_fit;
};

} // namespace varno
