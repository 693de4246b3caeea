#pragma once

#include "RecordingFileWatcher.h"

#include "library/OstrelLibraryEngine.h"
#include "library/OstrelMetadataEngine.h"
#include "platform/SettingsPreferencesStore.h"
#include "storage/MetadataCache.h"
#include "storage/OstrelDatabaseManager.h"

#include <memory>

namespace varno::test {

// The library engine over its real parts in the test's data folder: the
// preference store, the database manager, the metadata engine and index,
// and a file watcher that watches nothing (tests report changes through
// it). This is the one place a test builds an OstrelLibraryEngine, so a
// change of how the engine is made is a change here only.
//
// Nothing touches the disk until open() or start(), so a fixture may hold
// the harness as a member and start it once DataFolderTest::SetUp has moved
// the data folder. Main thread only.
class LibraryHarness {
public:
    // `metadataEngine`, when given, is used instead of the real one; it must
    // outlive the harness.
    explicit LibraryHarness(MetadataEngine* metadataEngine = nullptr);
    // The engine goes before the parts it uses.
    ~LibraryHarness();

    LibraryHarness(const LibraryHarness&) = delete;
    LibraryHarness& operator=(const LibraryHarness&) = delete;

    // Makes the database manager over the test's data folder.
    void open();
    // Makes the engine (opening first if need be) and waits until it has
    // loaded the library. `database`, when given, is used instead of the
    // real manager (usually it wraps database); it must outlive the engine.
    OstrelLibraryEngine& start(DatabaseManager* database = nullptr);

    // Another engine over the same database, metadata engine and index but
    // with `watcher`, as the next start of the app makes one; not loaded
    // yet.
    std::unique_ptr<OstrelLibraryEngine> makeEngine(FileWatcher& watcher);

    SettingsPreferencesStore preferences;
    MetadataCache cache;
    RecordingFileWatcher watcher;
    // Null until open(); a test may reset it after the engine.
    std::unique_ptr<OstrelDatabaseManager> database;
    // Null until start(); a test may reset it to end the engine early.
    std::unique_ptr<OstrelLibraryEngine> engine;

private:
    OstrelMetadataEngine m_realMetadataEngine;
    MetadataEngine& m_metadataEngine;
    DatabaseManager* m_engineDatabase = nullptr;
};

} // namespace varno::test
