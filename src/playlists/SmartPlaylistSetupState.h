#pragma once

#include "playlists/SmartRule.h"
#include "storage/Playlist.h"

#include <QCoroTask>
#include <QList>
#include <QString>

#include <functional>
#include <optional>

namespace varno {

class PlaylistEngine;

// What the "Create Smart Playlist" sheet holds while it is shown, and what
// its buttons do; the sheet only draws it. Main thread only.
//
// Nothing is trimmed or checked: an empty name and empty values are
// accepted, so "Create" is always enabled. Every rule may be removed; the
// playlist is then created with empty criteria.
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

    // "Untitled Smart Playlist", match all, one rule "Artist contains" with
    // no value.
    SmartPlaylistSetupState();

    QString playlistName;
    bool matchAllRules = true;
    QList<SmartRule> rules;
    // Closes the sheet; given by whoever shows it.
    std::function<void()> onCancel;

    // A new rule "Artist contains" with no value, at the end.
    const SmartRule& addRule();
    void removeRule(const QUuid& id);
    // Absent when no rule has this id.
    SmartRule* rule(const QUuid& id);

    bool canCreate() const { return true; }
    QString criteriaText() const { return smartCriteriaText(rules, matchAllRules); }

    void cancel() const;
    // Creates the smart playlist at the top level and closes the sheet. On
    // failure prints "Failed to create smart playlist: " and the reason,
    // keeps the sheet open as it was and returns absent.
    QCoro::Task<std::optional<Playlist>> create(PlaylistEngine& engine);
};

} // namespace varno
