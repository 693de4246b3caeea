#pragma once

#include "storage/Playlist.h"
#include "storage/SmartRule.h"

#include <QCoroTask>
#include <QList>
#include <QString>

#include <functional>
#include <optional>

namespace varno {

class PlaylistEngine;

// What the "Create Smart Playlist" sheet holds while it is shown, and what
// its buttons do; the sheet only draws it. The same sheet edits the rules of
// a smart playlist made before ("Edit Smart Playlist", "Save"). Main thread
// only.
//
// Names and text values are not trimmed or checked: an empty name and empty
// values are accepted, so "Create" is always enabled. A rule about a number
// or a date whose value is none ("Rating > abc") is refused when creating,
// with a message naming what it needs. Every rule may be removed; the
// playlist is then created with empty criteria and matches no song.
class SmartPlaylistSetupState {
public:
    // The sheet's texts.
    static inline const QString kTitle = QStringLiteral("Create Smart Playlist");
    static inline const QString kNameLabel = QStringLiteral("PLAYLIST NAME");
    static inline const QString kNamePlaceholder = QStringLiteral("e.g. Late Night Focus");
    static inline const QString kMatch = QStringLiteral("Match");
    static inline const QString kAll = QStringLiteral("ALL");
    static inline const QString kAny = QStringLiteral("ANY");
    static inline const QString kRulesSuffix = QStringLiteral(" of the following rules:");
    static inline const QString kAddRule = QStringLiteral("Add Rule");
    static inline const QString kValuePlaceholder = QStringLiteral("Value");
    static inline const QString kCancel = QStringLiteral("Cancel");
    static inline const QString kCreate = QStringLiteral("Create");
    static inline const QString kEditTitle = QStringLiteral("Edit Smart Playlist");
    static inline const QString kSave = QStringLiteral("Save");

    // "Untitled Smart Playlist", match all, one rule "Artist contains" with
    // no value.
    SmartPlaylistSetupState();
    // Editing `playlist`, a smart playlist: its name, match mode and rules
    // (read back from its criteria text when it has no rules as data; one
    // empty rule when the text is not made of rules).
    explicit SmartPlaylistSetupState(const Playlist& playlist);

    QString playlistName;
    bool matchAllRules = true;
    QList<SmartRule> rules;
    // Closes the sheet; given by whoever shows it.
    std::function<void()> onCancel;
    // The smart playlist being edited; absent while creating one.
    std::optional<QUuid> editedPlaylistID;
    // Why the last "Create" did nothing, for the sheet to show; cleared by
    // the next try.
    std::optional<QString> errorMessage;
    // The rule whose value was refused.
    std::optional<QUuid> refusedRuleID;

    // A new rule "Artist contains" with no value, at the end.
    const SmartRule& addRule();
    void removeRule(const QUuid& id);
    // Absent when no rule has this id.
    SmartRule* rule(const QUuid& id);

    bool canCreate() const { return true; }
    QString criteriaText() const { return smartCriteriaText(rules, matchAllRules); }
    SmartRuleSet ruleSet() const { return SmartRuleSet {matchAllRules, rules}; }
    bool isEditing() const { return editedPlaylistID.has_value(); }
    const QString& title() const { return isEditing() ? kEditTitle : kTitle; }
    const QString& createText() const { return isEditing() ? kSave : kCreate; }

    void cancel() const;
    // Creates the smart playlist at the top level, or saves the edited
    // one's rules and name, and closes the sheet. A value that does not fit
    // its rule sets errorMessage and refusedRuleID and changes nothing. A
    // failure of the engine prints "Failed to create smart playlist: " and
    // the reason and sets errorMessage too. Either way the sheet stays open
    // as it was and the result is absent.
    QCoro::Task<std::optional<Playlist>> create(PlaylistEngine& engine);
};

} // namespace varno
