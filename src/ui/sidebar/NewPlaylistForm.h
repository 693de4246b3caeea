#pragma once

#include <QCoroTask>
#include <QString>
#include <QWidget>

#include <optional>

class QLabel;
class QLineEdit;
class QPushButton;

namespace varno {

class PlaylistEngine;

// The sidebar's inline form for a new top-level playlist or folder: a name
// field, the last failure in red, "Cancel" and "Create". Return in the field creates,
// Escape cancels. A name that is blank once trimmed does nothing; a created
// playlist closes the form and clears it (the sidebar does not select it);
// a failure keeps the form open with the name as typed.
// Main thread only.
class NewPlaylistForm final : public QWidget {
    Q_OBJECT

public:
    static const QString kHeading;
    static const QString kPlaceholder;
    static const QString kCancel;
    static const QString kCreate;
    static const QString kFolderHeading;
    static const QString kFolderPlaceholder;

    enum class Kind { Playlist, Folder };

    explicit NewPlaylistForm(PlaylistEngine& engine, QWidget* parent = nullptr);

    // Shows the form with an empty name and no error, the field focused.
    // Opening a form that is already open for the same kind only focuses
    // it; opened for the other kind, it starts afresh.
    void open(Kind kind = Kind::Playlist);
    bool isOpen() const { return m_open; }
    Kind kind() const { return m_kind; }

    QString name() const;
    const std::optional<QString>& error() const { return m_error; }

    void create();
    void cancel();

signals:
    void openChanged(bool open);

protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QCoro::Task<> createPlaylist(QString name);
    void close();
    void setError(std::optional<QString> error);

    PlaylistEngine& m_engine;
    QLabel* m_heading = nullptr;
    QLineEdit* m_field = nullptr;
    QLabel* m_errorLabel = nullptr;
    QPushButton* m_createButton = nullptr;
    std::optional<QString> m_error;
    bool m_open = false;
    bool m_creating = false;
    Kind m_kind = Kind::Playlist;
};

} // namespace varno
