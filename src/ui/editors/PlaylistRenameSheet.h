#pragma once

#include "storage/Playlist.h"

#include <QCoroTask>
#include <QDialog>

#include <optional>

class QLabel;
class QLineEdit;
class QPushButton;

namespace varno {

class PlaylistEngine;

// Renames one playlist or folder. "Rename" is off while the trimmed name is
// blank or the playlist's own name; the engine's refusal (a name over 120
// characters, say) is shown in red under the field and the sheet stays open
// with the name as typed. Return in the field and Ctrl+Return rename;
// Ctrl+Escape and Escape cancel.
//
// Main thread only.
class PlaylistRenameSheet final : public QDialog {
    Q_OBJECT

public:
    static const QString kTitle;
    static const QString kPlaceholder;
    static const QString kCancel;
    static const QString kRename;

    PlaylistRenameSheet(Playlist playlist, PlaylistEngine& engine, QWidget* parent = nullptr);

    const Playlist& playlist() const { return m_playlist; }
    QLineEdit* nameField() const { return m_name; }
    QPushButton* renameButton() const { return m_rename; }
    QPushButton* cancelButton() const { return m_cancel; }
    QLabel* errorLabel() const { return m_errorLabel; }
    const std::optional<QString>& errorMessage() const { return m_errorMessage; }
    bool isRenaming() const { return m_renaming; }

    bool canRename() const;
    void submit();

protected:
    void showEvent(QShowEvent* event) override;

private:
    QCoro::Task<> rename(QString name);
    void updateState();

    Playlist m_playlist;
    PlaylistEngine& m_engine;
    QLineEdit* m_name = nullptr;
    QPushButton* m_rename = nullptr;
    QPushButton* m_cancel = nullptr;
    QLabel* m_errorLabel = nullptr;
    std::optional<QString> m_errorMessage;
    bool m_renaming = false;
};

} // namespace varno
