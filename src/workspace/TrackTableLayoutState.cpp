#include "TrackTableLayoutState.h"

#include "platform/Error.h"
#include "storage/Json.h"

#include <QPointer>
#include <QUndoCommand>
#include <QUndoStack>

#include <algorithm>
#include <utility>

namespace varno {

const QString TrackTableLayoutState::kPreferenceKey = QStringLiteral("trackTable.columnLayout.v1");
const QString TrackTableLayoutState::kInvalidLayoutMessage = QStringLiteral("The saved song-column layout was invalid and has been restored.");
const QString TrackTableLayoutState::kResizeActionName = QStringLiteral("Resize Song Column");

namespace {

const QString kRemoveColumn = QStringLiteral("Remove Song Column");
const QString kShowColumn = QStringLiteral("Show Song Column");
const QString kToggleColumn = QStringLiteral("Toggle Song Column");
const QString kResetColumnWidth = QStringLiteral("Reset Song Column Width");
const QString kReorderColumns = QStringLiteral("Reorder Song Columns");
const QString kRestoreColumns = QStringLiteral("Restore Song Columns");

} // namespace

// Swaps between the layout before a change and the one after it. The change
// itself has already been applied when the command is pushed.
class TrackTableLayoutState::LayoutCommand final : public QUndoCommand {
public:
    LayoutCommand(TrackTableLayoutState* state, TrackTableColumns before, TrackTableColumns after, const QString& actionName)
        : QUndoCommand(actionName)
        , m_state(state)
        , m_before(std::move(before))
        , m_after(std::move(after))
    {
    }

    void undo() override
    {
        if (m_state)
            m_state->applyColumns(m_before, text(), nullptr);
    }

    void redo() override
    {
        // QUndoStack::push() calls redo() at once.
        if (!std::exchange(m_pushed, true))
            return;
        if (m_state)
            m_state->applyColumns(m_after, text(), nullptr);
    }

private:
    // The stack may outlive the layout (both belong to the window).
    QPointer<TrackTableLayoutState> m_state;
    TrackTableColumns m_before;
    TrackTableColumns m_after;
    bool m_pushed = false;
};

TrackTableLayoutState::TrackTableLayoutState(PreferencesStore& defaults, QObject* parent)
    : QObject(parent)
    , m_defaults(defaults)
{
    const std::optional<QByteArray> stored = m_defaults.value(kPreferenceKey);
    if (!stored) {
        m_columns = defaultTrackTableColumns();
        return;
    }
    try {
        m_columns = normalizedColumns(decodeTrackTableColumns(*stored));
    } catch (const json::DecodingError&) {
        m_columns = defaultTrackTableColumns();
        m_recoveryMessage = kInvalidLayoutMessage;
    }
}

TrackTableLayoutState::~TrackTableLayoutState() = default;

void TrackTableLayoutState::dismissRecoveryMessage()
{
    setRecoveryMessage(std::nullopt);
}

QList<TrackTableColumnID> TrackTableLayoutState::visibleColumnIDs() const
{
    QList<TrackTableColumnID> ids;
    ids.reserve(m_columns.size());
    for (const TrackTableColumnConfiguration& column : m_columns)
        ids.append(column.id);
    return ids;
}

bool TrackTableLayoutState::isColumnVisible(TrackTableColumnID id) const
{
    return indexOf(id) >= 0;
}

double TrackTableLayoutState::totalWidth() const
{
    double total = kTrackTableLeadingWidth;
    for (const TrackTableColumnConfiguration& column : m_columns)
        total += column.width;
    return total;
}

bool TrackTableLayoutState::isDefaultLayout() const
{
    return m_columns == defaultTrackTableColumns();
}

void TrackTableLayoutState::setColumnVisible(TrackTableColumnID id, bool visible, QUndoStack* undoStack)
{
    const qsizetype at = indexOf(id);
    if (!visible) {
        if (at < 0)
            return;
        TrackTableColumns columns = m_columns;
        columns.removeAt(at);
        applyColumns(columns, kRemoveColumn, undoStack);
        return;
    }
    if (at >= 0)
        return;
    TrackTableColumns columns = m_columns;
    const auto next = std::find_if(columns.begin(), columns.end(), [&](const TrackTableColumnConfiguration& column) {
        return canonicalPosition(column.id) > canonicalPosition(id);
    });
    columns.insert(next, TrackTableColumnConfiguration::defaultFor(id));
    applyColumns(columns, kShowColumn, undoStack);
}

void TrackTableLayoutState::toggleColumnCollapsed(TrackTableColumnID id, QUndoStack* undoStack)
{
    const qsizetype at = indexOf(id);
    if (at < 0)
        return;
    TrackTableColumns columns = m_columns;
    TrackTableColumnConfiguration& column = columns[at];
    if (column.isCollapsed) {
        column.isCollapsed = false;
        column.width = clampedWidth(column.expandedWidth, id);
    } else {
        column.expandedWidth = clampedWidth(column.width, id);
        column.width = kCollapsedColumnWidth;
        column.isCollapsed = true;
    }
    applyColumns(columns, kToggleColumn, undoStack);
}

void TrackTableLayoutState::resetColumnWidth(TrackTableColumnID id, QUndoStack* undoStack)
{
    const qsizetype at = indexOf(id);
    if (at < 0)
        return;
    TrackTableColumns columns = m_columns;
    columns[at] = TrackTableColumnConfiguration::defaultFor(id);
    applyColumns(columns, kResetColumnWidth, undoStack);
}

void TrackTableLayoutState::moveColumn(TrackTableColumnID id, TrackTableColumnID onto, QUndoStack* undoStack)
{
    if (id == onto)
        return;
    const qsizetype from = indexOf(id);
    const qsizetype to = indexOf(onto);
    if (from < 0 || to < 0)
        return;
    TrackTableColumns columns = m_columns;
    const TrackTableColumnConfiguration moved = columns.takeAt(from);
    columns.insert(to, moved);
    applyColumns(columns, kReorderColumns, undoStack);
}

void TrackTableLayoutState::resizeColumn(TrackTableColumnID id, double width)
{
    const qsizetype at = indexOf(id);
    if (at < 0)
        return;
    TrackTableColumns columns = m_columns;
    TrackTableColumnConfiguration& column = columns[at];
    column.width = clampedWidth(width, id);
    column.expandedWidth = column.width;
    column.isCollapsed = false;
    assignColumns(std::move(columns));
}

void TrackTableLayoutState::registerResizeUndo(const TrackTableColumns& previous, const QString& actionName, QUndoStack* undoStack)
{
    if (!undoStack || m_columns == previous)
        return;
    undoStack->push(new LayoutCommand(this, previous, m_columns, actionName));
}

void TrackTableLayoutState::restoreDefaultLayout(QUndoStack* undoStack)
{
    applyColumns(defaultTrackTableColumns(), kRestoreColumns, undoStack);
}

void TrackTableLayoutState::applyColumns(const TrackTableColumns& columns, const QString& actionName, QUndoStack* undoStack)
{
    TrackTableColumns previous = m_columns;
    if (!assignColumns(normalizedColumns(columns)))
        return;
    if (undoStack)
        undoStack->push(new LayoutCommand(this, std::move(previous), m_columns, actionName));
}

bool TrackTableLayoutState::assignColumns(TrackTableColumns columns)
{
    if (columns == m_columns)
        return false;
    m_columns = std::move(columns);
    emit columnsChanged();
    save();
    return true;
}

void TrackTableLayoutState::save()
{
    try {
        m_defaults.setValue(kPreferenceKey, encodeTrackTableColumns(m_columns));
    } catch (const json::EncodingError& error) {
        setRecoveryMessage(QStringLiteral("The song-column layout could not be saved: ") + error.description());
    }
}

void TrackTableLayoutState::setRecoveryMessage(std::optional<QString> message)
{
    m_recoveryMessage = std::move(message);
    emit recoveryMessageChanged();
}

qsizetype TrackTableLayoutState::indexOf(TrackTableColumnID id) const
{
    for (qsizetype i = 0; i < m_columns.size(); ++i) {
        if (m_columns[i].id == id)
            return i;
    }
    return -1;
}

} // namespace varno
