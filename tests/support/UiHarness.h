#pragma once

#include "BootSupport.h"
#include "TestSupport.h"

#include "app/DIContainer.h"
#include "fixtures/FixtureGenerator.h"
#include "library/LibraryEngine.h"
#include "media/ThemeEngine.h"
#include "platform/SettingsPreferencesStore.h"
#include "ui/DesktopDialogs.h"
#include "ui/InspectedSongState.h"
#include "ui/MainWindow.h"
#include "ui/ViewEnvironment.h"
#include "workspace/AlbumCatalog.h"
#include "workspace/TrackTableLayoutState.h"
#include "workspace/WindowMemory.h"
#include "workspace/WorkspacePanelState.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTest>
#include <QThreadPool>

#include <algorithm>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

namespace varno::test {

// Lets short jobs on the shared pool (a preview being decoded, a picked
// cover being read) finish and their coroutines resume, so none is left
// suspended when the widget that started it goes.
inline void finishPoolWork()
{
    for (int round = 0; round < 3; ++round) {
        QThreadPool::globalInstance()->waitForDone();
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
    }
}

// Dialogs that answer from a script and remember what they were asked.
class FakeDialogs final : public DesktopDialogs {
public:
    struct Shown {
        QString kind;
        QString title;
        QString message;
    };

    // Answers, taken in order; an empty queue answers "cancelled".
    std::deque<std::vector<FileURL>> fileAnswers;
    std::deque<std::vector<FileURL>> folderAnswers;
    std::deque<std::optional<FileURL>> imageAnswers;
    std::deque<std::optional<FileURL>> saveAnswers;
    std::deque<bool> confirmAnswers;

    QList<Shown> shown;
    QList<FileURL> revealed;

    std::vector<FileURL> chooseFiles(QWidget*, const QString& title, const QString&, const QStringList&) override
    {
        shown.append({QStringLiteral("files"), title, {}});
        return take(fileAnswers, std::vector<FileURL>{});
    }
    std::vector<FileURL> chooseFolders(QWidget*, const QString& title) override
    {
        shown.append({QStringLiteral("folders"), title, {}});
        return take(folderAnswers, std::vector<FileURL>{});
    }
    std::optional<FileURL> chooseImageFile(QWidget*, const QString& title) override
    {
        shown.append({QStringLiteral("image"), title, {}});
        return take(imageAnswers, std::optional<FileURL>{});
    }
    std::optional<FileURL> chooseSaveFile(QWidget*, const QString& title, const QString& suggestedName) override
    {
        shown.append({QStringLiteral("save"), title, suggestedName});
        return take(saveAnswers, std::optional<FileURL>{});
    }
    bool confirmDestructive(QWidget*, const QString& title, const QString& message, const QString&) override
    {
        shown.append({QStringLiteral("confirm"), title, message});
        return take(confirmAnswers, false);
    }
    void showAlert(QWidget*, const QString& title, const QString& message) override
    {
        shown.append({QStringLiteral("alert"), title, message});
    }
    void showWarning(QWidget*, const QString& message, const QString& informativeText) override
    {
        shown.append({QStringLiteral("warning"), message, informativeText});
    }
    void showNotice(QWidget*, const QString& message, const QString& informativeText) override
    {
        shown.append({QStringLiteral("notice"), message, informativeText});
    }
    void revealFile(const FileURL& file) override { revealed.append(file); }

private:
    template <typename T>
    static T take(std::deque<T>& answers, T fallback)
    {
        if (answers.empty())
            return fallback;
        T answer = std::move(answers.front());
        answers.pop_front();
        return answer;
    }
};

// The real engines over the test's data folder, booted, with the window's
// own state and scripted dialogs: what a view needs to be built as in the
// app. Use inside a DataFolderTest, which gives each test fresh folders.
// It also makes the songs a test's library holds and opens the main window
// over it, so every window test gets them the same way.
class UiHarness {
public:
    // What importSongs writes as a song's tags, given its title.
    using SongTags = std::function<fixtures::Tags(const QString& title)>;
    // A generated file four minutes long: no song made from it ends while
    // a test plays it and looks at what is playing.
    static inline const QString kFourMinuteSong = QStringLiteral("signals/long-4min.mp3");

    // The tags of the generated "tagged" files, under the song's own title.
    static fixtures::Tags standardTagsTitled(const QString& title)
    {
        fixtures::Tags tags = fixtures::standardTags();
        tags.title = title;
        return tags;
    }
    // Only the title and the artist "Artist of <title>".
    static fixtures::Tags titleAndArtist(const QString& title)
    {
        fixtures::Tags tags;
        tags.title = title;
        tags.artist = QStringLiteral("Artist of ") + title;
        return tags;
    }

    UiHarness()
        : container(bootContainer())
        , panelState(preferences)
        , trackTableLayout(preferences)
        , windowMemory(preferences)
        , inspection(panelState)
        , albumCatalog(container->libraryEngine())
    {
    }

    // Playlist operations still being written are let finish, and then
    // the composition root ends its background work (its look at the state
    // folder among it), so no coroutine is left waiting for an engine or a
    // worker that is about to go.
    ~UiHarness()
    {
        await(container->playlistEngine().waitForPendingOperations());
        container->finishBackgroundWork();
    }

    ViewEnvironment environment()
    {
        return ViewEnvironment{container->libraryEngine(),      container->audioEngine(),  container->queueEngine(),
                               container->playlistEngine(),     container->searchEngine(), container->artworkCache(),
                               container->trackEditor(),        container->thumbnailGenerator(), container->waveformGenerator(),
                               container->themeEngine(),        trackTableLayout,          panelState,
                               inspection,                      albumCatalog,
                               dialogs};
    }

    // For each title a copy of the generated file `fixture`, named after the
    // title, in `folder`, with its tags replaced by `tags(title)` (its audio
    // and pictures are kept); all are imported through the library engine
    // in one import. Returns the songs in the order of `titles`.
    std::vector<Track> importSongs(const QString& folder, const QStringList& titles, const SongTags& tags = standardTagsTitled,
                                   const QString& fixture = kFourMinuteSong)
    {
        QDir().mkpath(folder);
        std::vector<FileURL> files;
        for (const QString& title : titles) {
            const QString path = folder + QLatin1Char('/') + title + QLatin1Char('.') + QFileInfo(fixture).suffix();
            QFile::remove(path);
            fixtures::copyWithTags(fixturePath(fixture), path, tags(title));
            files.push_back(FileURL::fromLocalFile(path));
        }
        LibraryEngine& library = container->libraryEngine();
        await(library.importFiles(files));
        std::vector<Track> imported;
        for (const FileURL& file : files) {
            const auto found = std::find_if(library.allTracks().begin(), library.allTracks().end(),
                                            [&](const Track& song) { return song.fileURL == file; });
            if (found == library.allTracks().end()) {
                ADD_FAILURE() << file.toLocalFile().toStdString() << " was not imported";
                continue;
            }
            imported.push_back(*found);
        }
        return imported;
    }

    // How far openMainWindow waits: for the window to be on screen, or for
    // it to have the keyboard focus too.
    enum class Readiness { Exposed, Active };
    // Whether the window runs with reduced motion, so that nothing a test
    // looks at waits for an animation, or with the appearance as stored.
    enum class Motion { Reduced, AsStored };

    // The main window over these engines, shown.
    std::unique_ptr<MainWindow> openMainWindow(Readiness readiness = Readiness::Active, Motion motion = Motion::Reduced)
    {
        if (motion == Motion::Reduced)
            container->themeEngine().setReduceMotion(true);
        auto window = std::make_unique<MainWindow>(container->windowEngines(), panelState, trackTableLayout, windowMemory, dialogs);
        window->show();
        if (readiness == Readiness::Active) {
            window->activateWindow();
            EXPECT_TRUE(QTest::qWaitForWindowActive(window.get()));
        } else {
            EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        }
        return window;
    }

    std::unique_ptr<DIContainer> container;
    SettingsPreferencesStore preferences;
    WorkspacePanelState panelState;
    TrackTableLayoutState trackTableLayout;
    WindowMemory windowMemory;
    InspectedSongState inspection;
    AlbumCatalog albumCatalog;
    FakeDialogs dialogs;
};

} // namespace varno::test
