#include "LibraryHarness.h"
#include "TestSupport.h"

#include "app/MediaCacheUpkeep.h"

#include <QDir>
#include <QFileInfo>

using namespace varno;
using test::await;

namespace {

// Records which songs' peaks were dropped.
class RecordingWaveforms final : public WaveformGenerator {
public:
    QList<QUuid> invalidated;
    QCoro::Task<Waveform> generateWaveform(Track, int) override { co_return Waveform {}; }
    int currentPeakIndex(double, int) const override { return 0; }
    void invalidateCache(const QUuid& trackID) override { invalidated << trackID; }
    QCoro::Task<> clearWaveformCache() override { co_return; }
};

class MediaCacheUpkeepTest : public test::DataFolderTest {
protected:
    void SetUp() override
    {
        DataFolderTest::SetUp();
        libraryHarness.start();
    }

    FileURL audioFile(const QString& name)
    {
        const QString path = scratch(name);
        QFile::copy(test::fixturePath(QStringLiteral("formats/untagged.mp3")), path);
        return FileURL::fromLocalFile(path);
    }

    RecordingWaveforms waveforms;
    test::LibraryHarness libraryHarness;
    test::RecordingFileWatcher& watcher = libraryHarness.watcher;
    std::unique_ptr<OstrelLibraryEngine>& library = libraryHarness.engine;
};

} // namespace

TEST_F(MediaCacheUpkeepTest, PeaksGoWithTheSongOrWhenItsFileChanges)
{
    MediaCacheUpkeep upkeep(*library, watcher, waveforms);
    const FileURL a = audioFile(QStringLiteral("a.mp3"));
    const FileURL b = audioFile(QStringLiteral("b.mp3"));
    await(library->importFiles({a, b}));
    ASSERT_EQ(library->allTracks().size(), 2u);
    EXPECT_TRUE(waveforms.invalidated.isEmpty());

    // A file changed on disk: once the changes have settled.
    const QUuid bID = library->allTracks()[1].id;
    const FileURL changed = library->allTracks()[1].fileURL;
    emit watcher.changeOccurred(FileSystemChange::modified(changed));
    emit watcher.changeOccurred(FileSystemChange::modified(changed));
    emit watcher.changeOccurred(FileSystemChange::deleted(library->allTracks()[0].fileURL));
    // The changes of one quiet period are handled together, so once any
    // song's peaks are dropped, all that will be are.
    ASSERT_TRUE(test::waitUntil([&] { return !waveforms.invalidated.isEmpty(); }));
    EXPECT_EQ(waveforms.invalidated, QList<QUuid> {bID});

    // A song that left the library.
    const Track first = library->allTracks()[0];
    await(library->removeTrack(first, RemovalKind::KeepFile));
    EXPECT_EQ(waveforms.invalidated, (QList<QUuid> {bID, first.id}));
}
