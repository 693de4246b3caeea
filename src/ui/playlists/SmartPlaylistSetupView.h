#pragma once

#include "playlists/SmartPlaylistSetupState.h"

#include <QCoroTask>
#include <QDialog>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QVBoxLayout;

namespace varno {

class PlaylistEngine;

// The "Create Smart Playlist" sheet: a name, match all or any, and the
// rules, each a property, a condition and a value. It draws and edits a
// SmartPlaylistSetupState, which stores the rules with their criteria text
// and creates the playlist at the top level; made for a smart playlist, it
// is the "Edit Smart Playlist" sheet, which saves its rules. "Create" is
// always on; a value a rule cannot take ("Rating > abc") is named in red
// under the rules with its field focused, a failed creation is reported on
// standard output and in red too, and either leaves the sheet open as it
// was. Return (or Ctrl+Return) creates, Escape cancels.
//
// Main thread only.
class SmartPlaylistSetupView final : public QDialog {
    Q_OBJECT

public:
    SmartPlaylistSetupView(PlaylistEngine& engine, QWidget* parent = nullptr);
    // Edits the rules of `playlist`, a smart playlist.
    SmartPlaylistSetupView(PlaylistEngine& engine, const Playlist& playlist, QWidget* parent = nullptr);

    const SmartPlaylistSetupState& state() const { return m_state; }

    QLineEdit* nameField() const { return m_name; }
    QComboBox* matchModeBox() const { return m_matchMode; }
    QPushButton* addRuleButton() const { return m_addRule; }
    QPushButton* createButton() const { return m_create; }
    QPushButton* cancelButton() const { return m_cancel; }
    QLabel* errorLabel() const { return m_errorLabel; }
    // The row of the rule at `index`, with its property and condition boxes,
    // value field and remove button as named children ("property",
    // "condition", "value", "removeRule").
    QWidget* ruleRow(int index) const;
    int ruleRowCount() const;

    void addRule();
    void removeRule(const QUuid& id);
    void create();

signals:
    // The playlist was created, or its rules saved (just before the sheet
    // closes).
    void created(const varno::Playlist& playlist);

private:
    SmartPlaylistSetupView(PlaylistEngine& engine, SmartPlaylistSetupState state, QWidget* parent);
    void showRefusal();
    void rebuildRules();
    QWidget* makeRuleRow(const SmartRule& rule);
    QCoro::Task<> runCreate();

    PlaylistEngine& m_engine;
    SmartPlaylistSetupState m_state;
    QLineEdit* m_name = nullptr;
    QComboBox* m_matchMode = nullptr;
    QVBoxLayout* m_rulesLayout = nullptr;
    QPushButton* m_addRule = nullptr;
    QPushButton* m_cancel = nullptr;
    QPushButton* m_create = nullptr;
    QLabel* m_errorLabel = nullptr;
    bool m_creating = false;
};

} // namespace varno
