#pragma once

#include "BootSupport.h"
#include "TestSupport.h"

#include "app/DIContainer.h"
#include "platform/SettingsPreferencesStore.h"
#include "ui/DesktopDialogs.h"
#include "ui/InspectedSongState.h"
#include "ui/ViewEnvironment.h"
#include "workspace/TrackTableLayoutState.h"
#include "workspace/WorkspacePanelState.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

#include <chrono>

#include <QThreadPool>

#include <deque>
#include <memory>

namespace varno::test {

// Runs the event loop until `condition` holds or `timeout` passes; whether it
// held. QTest's QTRY_ macros only return from the function on a timeout,
// which GoogleTest does not count as a failure, so tests use this instead:
// EXPECT_TRUE(test::waitUntil([&] { return …; })).
template <typename Condition>
bool waitUntil(Condition&& condition, std::chrono::milliseconds timeout = std::chrono::seconds(10))
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > timeout.count())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    return true;
}

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
class UiHarness {
public:
    UiHarness()
        : container(bootContainer())
        , panelState(preferences)
        , trackTableLayout(preferences)
        , inspection(panelState)
    {
    }

    // The composition root looks at its state folder once the folder has
    // been quiet for a moment, checking on workers whether another process
    // wrote the library or the playlists. A container destroyed while such a
    // check is out would leave it suspended for good (or resume it on a
    // destroyed engine), so the look is let happen and finish first.
    ~UiHarness()
    {
        QTest::qWait(30);
        waitUntil([this] { return !container->isStateFolderCheckPending(); }, std::chrono::seconds(2));
        await(container->playlistEngine().waitForPendingOperations());
        QTest::qWait(20);
        container->finishBackgroundWork();
    }

    ViewEnvironment environment()
    {
        return ViewEnvironment{container->libraryEngine(),      container->audioEngine(),  container->queueEngine(),
                               container->playlistEngine(),     container->searchEngine(), container->artworkCache(),
                               container->trackEditor(),        container->thumbnailGenerator(), container->waveformGenerator(),
                               container->themeEngine(),        trackTableLayout,          panelState,
                               inspection,                      dialogs};
    }

    std::unique_ptr<DIContainer> container;
    SettingsPreferencesStore preferences;
    WorkspacePanelState panelState;
    TrackTableLayoutState trackTableLayout;
    InspectedSongState inspection;
    FakeDialogs dialogs;

};

} // namespace varno::test
