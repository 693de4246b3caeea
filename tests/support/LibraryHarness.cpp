#include "LibraryHarness.h"

#include "TestSupport.h"

namespace varno::test {

LibraryHarness::LibraryHarness(MetadataEngine* metadataEngine)
    : m_metadataEngine(metadataEngine ? *metadataEngine : m_realMetadataEngine)
{
}

LibraryHarness::~LibraryHarness()
{
    engine.reset();
    database.reset();
}

void LibraryHarness::open()
{
    if (!database)
        database = std::make_unique<OstrelDatabaseManager>(preferences);
}

OstrelLibraryEngine& LibraryHarness::start(DatabaseManager* databaseInstead)
{
    open();
    m_engineDatabase = databaseInstead ? databaseInstead : database.get();
    engine = makeEngine(watcher);
    await(engine->loadLibraryFromDisk());
    return *engine;
}

std::unique_ptr<OstrelLibraryEngine> LibraryHarness::makeEngine(FileWatcher& fileWatcher)
{
    open();
    DatabaseManager& used = m_engineDatabase ? *m_engineDatabase : *database;
    return std::make_unique<OstrelLibraryEngine>(used, m_metadataEngine, cache, fileWatcher);
}

} // namespace varno::test
