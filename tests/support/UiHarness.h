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
#include <QSignalSpy>
#include <QTest>
#include <QThreadPool>

#include <deque>
#include <memory>

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
        return ViewEnvironment{container->libraryEngine(), container->audioEngine(),   container->queueEngine(),
                               container->playlistEngine(), container->searchEngine(), container->artworkCache(),
                               container->thumbnailGenerator(), container->waveformGenerator(), container->themeEngine(),
                               trackTableLayout,            panelState,                inspection,
                               dialogs};
    }

    std::unique_ptr<DIContainer> container;
    SettingsPreferencesStore preferences;
    WorkspacePanelState panelState;
    TrackTableLayoutState trackTableLayout;
    InspectedSongState inspection;
    FakeDialogs dialogs;

};

} // namespace varno::test
