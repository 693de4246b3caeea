#pragma once

#include "CliCommand.h"
#include "library/FileWatcher.h"
#include "library/OstrelLibraryEngine.h"
#include "library/OstrelMetadataEngine.h"
#include "platform/Diagnostics.h"
#include "platform/SettingsPreferencesStore.h"
#include "playback/OstrelQueueEngine.h"
#include "playlists/OstrelPlaylistEngine.h"
#include "playlists/OstrelPlaylistStorage.h"
#include "storage/MetadataCache.h"
#include "storage/OstrelDatabaseManager.h"

#include <algorithm>
#include <memory>

namespace varno::cli {

// The CLI runs for seconds: folders it adds are remembered for the app, which
// watches them; watching them here would only cost set-up time.
class RememberingFileWatcher final : public FileWatcher {
public:
    std::vector<FileURL> monitoredFolders() const override { return m_folders; }
    void startWatching(const FileURL& folder) override
    {
        if (std::find(m_folders.begin(), m_folders.end(), folder) == m_folders.end())
            m_folders.push_back(folder);
    }
    void stopWatching(const FileURL& folder) override { std::erase(m_folders, folder); }
    void pause() override {}
    void resume() override {}

private:
    std::vector<FileURL> m_folders;
};

// Sends the engines' diagnostic lines to standard error: standard output is
// the command's own, and may be a pipe.
struct DiagnosticsToStandardError {
    DiagnosticsToStandardError() { setDiagnosticOutput(stderr); }
};

// The same engines and data folder as the app, built in the same order.
// Construction throws when the data folder cannot be made.
struct Library {
    DiagnosticsToStandardError diagnostics;
    SettingsPreferencesStore preferences;
    OstrelDatabaseManager database {preferences};
    RememberingFileWatcher watcher;
    OstrelMetadataEngine metadataEngine;
    MetadataCache metadataCache;
    OstrelLibraryEngine engine {database, metadataEngine, metadataCache, watcher};
};

// "ID<tab>Title — Artist — Album (m:ss)"
QString describeSong(const Track& track);

// Builds the library and loads it. Absent, after one line on standard error
// saying why, when the data folder cannot be made or the library cannot be
// read: no command works on a library it could not load.
QCoro::Task<std::unique_ptr<Library>> openLibrary(Console console);

// The playlists over a library and a queue the caller owns.
struct PlaylistShelf {
    // The database, for the play counts that smart playlists' rules read.
    PlaylistShelf(LibraryEngine& library, QueueEngine& queue, DatabaseManager* database);
    OstrelPlaylistStorage storage;
    OstrelPlaylistEngine engine;
};

// Builds the playlists and loads them; problems with the stored tree are
// listed on standard error. Absent, after the reason on standard error,
// when the store cannot be read: no command changes a store it could not
// read.
QCoro::Task<std::unique_ptr<PlaylistShelf>> openPlaylists(Library& library, QueueEngine& queue, Console console);

// Absent, after a line on standard error, when `text` is not an id.
std::optional<QUuid> parseID(const QString& text, const QString& what, Console console);

} // namespace varno::cli
