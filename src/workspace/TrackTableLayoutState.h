#pragma once

#include "platform/PreferencesStore.h"
#include "workspace/TrackTableColumnConfiguration.h"

#include <QList>
#include <QObject>
#include <QString>

#include <optional>

class QUndoStack;

namespace varno {

// The song table's column layout: which columns are shown, in which order,
// how wide and whether collapsed. One instance, shared by the table's header
// and rows and the settings screen. Every change is normalised, published at
// once and written to the preferences; all but the steps of a live resize go
// on the given undo stack under a readable name (no stack, no undo entry).
//
// Main thread only.
class TrackTableLayoutState final : public QObject {
    Q_OBJECT

public:
    static const QString kPreferenceKey;
    // Shown when the stored layout could not be read and the default replaced it.
    static const QString kInvalidLayoutMessage;
    // What the header passes to registerResizeUndo() at the end of a drag.
    static const QString kResizeActionName;

    // Reads the stored layout; one that cannot be read gives the default
    // layout and kInvalidLayoutMessage, and stays stored until the next change.
    explicit TrackTableLayoutState(PreferencesStore& defaults, QObject* parent = nullptr);
    ~TrackTableLayoutState() override;

    const TrackTableColumns& columns() const { return m_columns; }
    // Shown once: the view clears it when the user has seen it.
    const std::optional<QString>& recoveryMessage() const { return m_recoveryMessage; }
    void dismissRecoveryMessage();

    QList<TrackTableColumnID> visibleColumnIDs() const;
    bool isColumnVisible(TrackTableColumnID id) const;
    // The leading area plus every column's drawn width.
    double totalWidth() const;
    // Views disable their restore command while this holds.
    bool isDefaultLayout() const;

    // "Remove Song Column" / "Show Song Column". A column shown again goes
    // back to its default width, before the first shown column that comes
    // after it in canonical order.
    void setColumnVisible(TrackTableColumnID id, bool visible, QUndoStack* undoStack);
    // "Toggle Song Column". Expanding returns to the width the column had
    // when it was collapsed.
    void toggleColumnCollapsed(TrackTableColumnID id, QUndoStack* undoStack);
    // "Reset Song Column Width": default width, expanded.
    void resetColumnWidth(TrackTableColumnID id, QUndoStack* undoStack);
    // "Reorder Song Columns": `id` takes the place `onto` had, so a column
    // dragged right lands after its target and one dragged left before it.
    void moveColumn(TrackTableColumnID id, TrackTableColumnID onto, QUndoStack* undoStack);
    // One step of a drag on a column's edge: published and stored at once,
    // with no undo entry. The header remembers columns() when the drag starts
    // and hands them to registerResizeUndo() when it ends, so the whole drag
    // is undone in one step.
    void resizeColumn(TrackTableColumnID id, double width);
    void registerResizeUndo(const TrackTableColumns& previous, const QString& actionName, QUndoStack* undoStack);
    // "Restore Song Columns".
    void restoreDefaultLayout(QUndoStack* undoStack);

signals:
    void columnsChanged();
    void recoveryMessageChanged();

private:
    class LayoutCommand;

    void applyColumns(const TrackTableColumns& columns, const QString& actionName, QUndoStack* undoStack);
    // Publishes and stores `columns` as they are; false when nothing changed.
    bool assignColumns(TrackTableColumns columns);
    void save();
    void setRecoveryMessage(std::optional<QString> message);
    qsizetype indexOf(TrackTableColumnID id) const;

    PreferencesStore& m_defaults;
    TrackTableColumns m_columns;
    std::optional<QString> m_recoveryMessage;
};

} // namespace varno
