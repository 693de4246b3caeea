#pragma once

#include <QObject>

namespace varno {

// What the menu bar asks of the focused song list.
enum class TrackListSelectionCommand {
    SelectAll,
    // Also clears the song shown in the inspector.
    DeselectAll,
    // Opens the metadata editor for the selection.
    EditSelection,
};

// The link between one song list and the menu bar: the list publishes how
// many songs it shows and how many are selected, the menu bar reads them for
// its enabled states and sends commands, the list carries them out. Sending
// never fails; a command nobody listens to is dropped.
//
// Main thread only.
class TrackListSelectionCommandTarget final : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    qsizetype trackCount() const { return m_trackCount; }
    qsizetype selectionCount() const { return m_selectionCount; }
    void setTrackCount(qsizetype count);
    void setSelectionCount(qsizetype count);

    void send(TrackListSelectionCommand command) { emit commandSent(command); }

signals:
    void trackCountChanged();
    void selectionCountChanged();
    // The list listens here.
    void commandSent(varno::TrackListSelectionCommand command);

private:
    qsizetype m_trackCount = 0;
    qsizetype m_selectionCount = 0;
};

} // namespace varno
