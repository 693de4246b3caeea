#include "SmartPlaylistSetupState.h"

#include "platform/Diagnostics.h"
#include "platform/Error.h"
#include "playlists/PlaylistEngine.h"
#include "playlists/PlaylistError.h"
#include "playlists/SmartRuleMatcher.h"

namespace varno {

SmartPlaylistSetupState::SmartPlaylistSetupState()
    : playlistName(QStringLiteral("Untitled Smart Playlist"))
{
    addRule();
}

SmartPlaylistSetupState::SmartPlaylistSetupState(const Playlist& playlist)
    : playlistName(playlist.name)
    , editedPlaylistID(playlist.id)
{
    const std::optional<SmartRuleSet> stored = playlist.type.rules() ? playlist.type.rules() : parseSmartCriteria(playlist.type.criteria());
    if (stored) {
        matchAllRules = stored->matchAllRules;
        rules = stored->rules;
    } else {
        addRule();
    }
}

const SmartRule& SmartPlaylistSetupState::addRule()
{
    rules.push_back(SmartRule {});
    return rules.back();
}

void SmartPlaylistSetupState::removeRule(const QUuid& id)
{
    rules.removeIf([&](const SmartRule& rule) { return rule.id == id; });
}

SmartRule* SmartPlaylistSetupState::rule(const QUuid& id)
{
    for (SmartRule& candidate : rules) {
        if (candidate.id == id)
            return &candidate;
    }
    return nullptr;
}

void SmartPlaylistSetupState::cancel() const
{
    if (onCancel)
        onCancel();
}

QCoro::Task<std::optional<Playlist>> SmartPlaylistSetupState::create(PlaylistEngine& engine)
{
    errorMessage.reset();
    refusedRuleID.reset();
    for (const SmartRule& rule : rules) {
        try {
            validateSmartRule(rule);
        } catch (const PlaylistError& error) {
            errorMessage = error.description();
            refusedRuleID = rule.id;
            co_return std::nullopt;
        }
    }
    std::optional<Playlist> result;
    try {
        if (editedPlaylistID) {
            const QUuid id = *editedPlaylistID;
            auto saving = engine.updateSmartRules(id, ruleSet());
            co_await saving;
            const std::optional<Playlist> before = engine.findPlaylist(id);
            if (before && before->name != playlistName) {
                auto renaming = engine.rename(id, playlistName);
                co_await renaming;
            }
            result = engine.findPlaylist(id);
        } else {
            auto creating = engine.createSmartPlaylist(playlistName, ruleSet(), std::nullopt);
            result = co_await creating;
        }
    } catch (const std::exception& error) {
        printDiagnostic(QStringLiteral("Failed to create smart playlist: ") + describe(error));
        errorMessage = describe(error);
        co_return std::nullopt;
    }
    cancel();
    co_return result;
}

} // namespace varno
