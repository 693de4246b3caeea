#include "SmartPlaylistSetupState.h"

#include "platform/Diagnostics.h"
#include "platform/Error.h"
#include "playlists/PlaylistEngine.h"

namespace varno {

SmartPlaylistSetupState::SmartPlaylistSetupState()
    : playlistName(QStringLiteral("Untitled Smart Playlist"))
{
    addRule();
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
    std::optional<Playlist> created;
    try {
        auto creating = engine.createSmartPlaylist(playlistName, criteriaText(), std::nullopt);
        created = co_await creating;
    } catch (const std::exception& error) {
        printDiagnostic(QStringLiteral("Failed to create smart playlist: ") + describe(error));
        co_return std::nullopt;
    }
    cancel();
    co_return created;
}

} // namespace varno
