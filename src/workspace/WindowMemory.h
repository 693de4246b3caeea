#pragma once

#include "platform/PreferencesStore.h"
#include "workspace/TrackSortOrder.h"

#include <QList>
#include <QObject>
#include <QRect>
#include <QString>

#include <optional>

namespace varno {

// Where the window was and how it was left, for the next start.
struct WindowPlacement {
    // The window's frame-less geometry while not maximised, in desktop
    // coordinates.
    QRect normalGeometry;
    bool isMaximized = false;
    // The name of the screen it was on ("DP-1"); empty when unknown.
    QString screenName;

    friend bool operator==(const WindowPlacement&, const WindowPlacement&) = default;
};

// One screen of the desktop, as placeOnScreen() sees it.
struct ScreenArea {
    QString name;
    // The part windows may use (without panels and docks).
    QRect available;
};

// Where a window remembered as `wanted` goes now: on the screen it was on
// when that screen is still there, else on `primary` (the first screen when
// none is named), made no larger than the screen and moved so it lies wholly
// inside it. A window that no longer touches its screen at all is centred on
// it. `minimumSize` is kept even on a smaller screen.
QRect placeOnScreen(const WindowPlacement& wanted, const QList<ScreenArea>& screens, const QString& primary, QSize minimumSize);

// What the window keeps between runs besides its panels and its columns: its
// placement, whether the play queue was open and the sort order of each
// screen that shows songs. Each is stored in the preferences the moment it
// is set; a value that is missing or cannot be read counts as never set.
//
// Main thread only.
class WindowMemory final : public QObject {
    Q_OBJECT

public:
    static const QString kGeometryKey;
    static const QString kMaximizedKey;
    static const QString kScreenKey;
    static const QString kQueueOpenKey;
    // Followed by the screen's key: "songs.sortOrder.allSongs".
    static const QString kSortOrderKeyPrefix;

    explicit WindowMemory(PreferencesStore& defaults, QObject* parent = nullptr);

    std::optional<WindowPlacement> placement() const { return m_placement; }
    void setPlacement(const WindowPlacement& placement);

    bool isQueueOpen() const { return m_queueOpen; }
    void setQueueOpen(bool open);

    // `screen` names one song-showing screen ("allSongs", "playlist.<UUID>").
    std::optional<TrackSortOrder> sortOrder(const QString& screen) const;
    void setSortOrder(const QString& screen, const TrackSortOrder& order);

    // "artist descending" ("listed" for a list's own order), and back;
    // absent for text that is no order.
    static QString sortOrderText(const TrackSortOrder& order);
    static std::optional<TrackSortOrder> sortOrderFromText(const QString& text);

private:
    std::optional<WindowPlacement> loadPlacement() const;

    PreferencesStore& m_defaults;
    std::optional<WindowPlacement> m_placement;
    bool m_queueOpen = false;
};

} // namespace varno
