#pragma once

#include "playlists/SmartPlaylistSetupState.h"

#include <QCoroTask>
#include <QDialog>

class QComboBox;
class QLineEdit;
class QPushButton;
class QVBoxLayout;

namespace varno {

class PlaylistEngine;

// The "Create Smart Playlist" sheet: a name, match all or any, and the
// rules, each a property, a condition and a value. It draws and edits a
// SmartPlaylistSetupState, which turns the rules into the stored criteria
// text and creates the playlist at the top level. "Create" is always on; a
// failed creation is reported on standard output and leaves the sheet open
// as it was. Ctrl+Return creates, Escape cancels.
//
// Main thread only.
class SmartPlaylistSetupView final : public QDialog {
    Q_OBJECT

public:
    SmartPlaylistSetupView(PlaylistEngine& engine, QWidget* parent = nullptr);

    const SmartPlaylistSetupState& state() const { return m_state; }

    QLineEdit* nameField() const { return m_name; }
    QComboBox* matchModeBox() const { return m_matchMode; }
    QPushButton* addRuleButton() const { return m_addRule; }
    QPushButton* createButton() const { return m_create; }
    QPushButton* cancelButton() const { return m_cancel; }
    // The row of the rule at `index`, with its property and condition boxes,
    // value field and remove button as named children ("property",
    // "condition", "value", "removeRule").
    QWidget* ruleRow(int index) const;
    int ruleRowCount() const;

    void addRule();
    void removeRule(const QUuid& id);
    void create();

signals:
    // The playlist was created (just before the sheet closes).
    void created(const varno::Playlist& playlist);

private:
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
    bool m_creating = false;
};

} // namespace varno
