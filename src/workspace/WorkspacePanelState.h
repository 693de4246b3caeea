#pragma once

#include "platform/PreferencesStore.h"

#include <QObject>
#include <QString>

namespace varno {

// The library sidebar on the left, the now-playing inspector on the right.
enum class WorkspacePanelSide { Left, Right };

// The two side panels around the song list: whether each is enabled (a
// disabled panel and its divider are not drawn), expanded (else only its
// reveal button shows) and locked (its width and expanded state stay as they
// are until it is unlocked), and its width in points. Each field is stored
// under its own preference the moment it changes and read back at start.
//
// Main thread only.
class WorkspacePanelState final : public QObject {
    Q_OBJECT

public:
    struct Limits {
        double minimumWidth;
        double maximumWidth;
        double defaultWidth;
    };
    static Limits limitsOf(WorkspacePanelSide side);
    // "Library Sidebar", "Now Playing Inspector".
    static QString panelName(WorkspacePanelSide side);

    // Preference keys, for example "workspace.left.width".
    static QString enabledKey(WorkspacePanelSide side);
    static QString expandedKey(WorkspacePanelSide side);
    static QString lockedKey(WorkspacePanelSide side);
    static QString widthKey(WorkspacePanelSide side);

    // A value that is missing or not of its field's type gives the field's
    // default; widths are brought within their side's limits. Nothing is
    // written back until a field changes.
    explicit WorkspacePanelState(PreferencesStore& defaults, QObject* parent = nullptr);

    bool isEnabled(WorkspacePanelSide side) const { return panel(side).enabled; }
    bool isExpanded(WorkspacePanelSide side) const { return panel(side).expanded; }
    bool isLocked(WorkspacePanelSide side) const { return panel(side).locked; }
    double width(WorkspacePanelSide side) const { return panel(side).width; }

    bool isLeftEnabled() const { return isEnabled(WorkspacePanelSide::Left); }
    bool isLeftExpanded() const { return isExpanded(WorkspacePanelSide::Left); }
    bool isLeftLocked() const { return isLocked(WorkspacePanelSide::Left); }
    double leftWidth() const { return width(WorkspacePanelSide::Left); }
    bool isRightEnabled() const { return isEnabled(WorkspacePanelSide::Right); }
    bool isRightExpanded() const { return isExpanded(WorkspacePanelSide::Right); }
    bool isRightLocked() const { return isLocked(WorkspacePanelSide::Right); }
    double rightWidth() const { return width(WorkspacePanelSide::Right); }

    // Enabling shows the panel expanded; disabling also collapses and unlocks
    // it. Its width is kept either way.
    void setPanelEnabled(WorkspacePanelSide side, bool enabled);
    // The divider's "Disable" item: works even while the panel is locked.
    void disablePanel(WorkspacePanelSide side);
    // Ignored while the panel is disabled or locked.
    void setPanelExpanded(WorkspacePanelSide side, bool expanded);
    // Clamped to the side's limits; ignored while disabled or locked.
    void resizePanel(WorkspacePanelSide side, double width);
    void setPanelLocked(WorkspacePanelSide side, bool locked);

    // Whether the divider or the reveal button may change the panel.
    bool canChange(WorkspacePanelSide side) const { return isEnabled(side) && !isLocked(side); }

    // What the divider's menu and label and the reveal button of a collapsed
    // panel say in the panel's present state.
    struct ControlTexts {
        // "Lock Width and Visibility", or "Unlock …" while locked.
        QString lockItem;
        // "Collapse " and "Disable " + the panel's name.
        QString collapseItem;
        QString disableItem;
        // While locked: the name + " locked", and how to change it. Empty
        // otherwise.
        QString lockedLabel;
        QString lockedHelp;
        // "Expand " + the name, or the name + " collapsed and locked".
        QString revealTitle;
        // While locked: where to unlock it. Empty otherwise.
        QString revealHelp;
    };
    ControlTexts controlTexts(WorkspacePanelSide side) const;

signals:
    // Any field of the panel on `side` was assigned.
    void panelChanged(varno::WorkspacePanelSide side);

private:
    struct Panel {
        bool enabled = true;
        bool expanded = true;
        bool locked = false;
        double width = 0;
    };

    const Panel& panel(WorkspacePanelSide side) const { return side == WorkspacePanelSide::Left ? m_left : m_right; }
    Panel& panel(WorkspacePanelSide side) { return side == WorkspacePanelSide::Left ? m_left : m_right; }
    Panel load(WorkspacePanelSide side) const;
    void assignEnabled(WorkspacePanelSide side, bool value);
    void assignExpanded(WorkspacePanelSide side, bool value);
    void assignLocked(WorkspacePanelSide side, bool value);
    void assignWidth(WorkspacePanelSide side, double value);

    PreferencesStore& m_defaults;
    Panel m_left;
    Panel m_right;
};

// The width a divider drag asks for: the panel's width when the drag started
// plus the pointer's horizontal travel for the left panel, minus it for the
// right one, so that dragging towards the song list widens either panel. Not
// clamped: resizePanel() does that (or ignores it while the panel is locked).
double dividerDragWidth(WorkspacePanelSide side, double originWidth, double translation);

} // namespace varno
