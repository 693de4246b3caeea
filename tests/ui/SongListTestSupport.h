#pragma once

#include "ModelChecks.h"
#include "TestSupport.h"
#include "UiHarness.h"

#include "library/LibraryEngine.h"
#include "ui/songs/LibraryTrackSource.h"
#include "ui/songs/TrackListView.h"
#include "ui/songs/TrackTableHeaderView.h"
#include "ui/songs/TrackTableModel.h"
#include "ui/songs/TrackTableView.h"
#include "ui/songs/TrackThumbnailCache.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QToolButton>
#include <QMenu>
#include <QTest>
#include <QUndoStack>

#include <functional>
#include <memory>

namespace varno::test {

// The texts of a menu's items in order, separators left out.
inline QStringList itemTexts(const QMenu& menu)
{
    QStringList texts;
    for (const QAction* action : menu.actions()) {
        if (!action->isSeparator())
            texts << action->text();
    }
    return texts;
}

inline QAction* itemNamed(const QMenu& menu, const QString& text)
{
    for (QAction* action : menu.actions()) {
        if (action->text() == text)
            return action;
        if (action->menu()) {
            if (QAction* inner = itemNamed(*action->menu(), text))
                return inner;
        }
    }
    return nullptr;
}

// A song list over the real engines of a booted harness, with songs made
// from copies of the generated audio files.
class SongListTest : public DataFolderTest {
protected:
    void SetUp() override
    {
        DataFolderTest::SetUp();
        harness = std::make_unique<UiHarness>();
        QDir().mkpath(musicFolder());
    }

    void TearDown() override
    {
        closeList();
        undoStack.clear();
        harness.reset();
        DataFolderTest::TearDown();
    }

    // Covers asked for by the rows on screen, saves and imports may still
    // be running in the engines, which must not be gone when they finish.
    void closeList()
    {
        if (list) {
            EXPECT_TRUE(waitUntil([&] {
                return list->model().thumbnails().runningRequestCount() == 0 && list->runningOperationCount() == 0
                       && !list->removalCoordinator().inFlightTrackID();
            }));
        }
        list.reset();
    }

    // Whether every operation the list started (an import, a save, a
    // removal) has ended and shown what it had to show.
    bool listOperationsEnd() { return waitUntil([&] { return list->runningOperationCount() == 0; }); }

    LibraryEngine& library() { return harness->container->libraryEngine(); }
    QString musicFolder() const { return scratch(QStringLiteral("music")); }

    // A copy of a generated file under the music folder.
    QString copyFixture(const QString& fixture, const QString& name)
    {
        const QString path = musicFolder() + QLatin1Char('/') + name;
        QFile::remove(path);
        EXPECT_TRUE(QFile::copy(fixturePath(fixture), path)) << path.toStdString();
        return path;
    }

    // One song per title in the music folder, from copies of a generated
    // file (four minutes long by default, so nothing ends while a test
    // runs) with the standard tags under the song's title.
    void addSongs(const QStringList& titles, const QString& fixture = UiHarness::kFourMinuteSong)
    {
        harness->importSongs(musicFolder(), titles, UiHarness::standardTagsTitled, fixture);
    }

    Track song(const QString& title)
    {
        for (const Track& track : library().allTracks()) {
            if (track.title == title)
                return track;
        }
        ADD_FAILURE() << "no song titled " << title.toStdString();
        return {};
    }

    void edit(const QString& title, const std::function<void(Track&)>& change)
    {
        Track track = song(title);
        change(track);
        await(library().updateTrack(track));
    }

    void showLibraryList(const QString& title = QStringLiteral("All Songs"))
    {
        list = std::make_unique<TrackListView>(harness->environment(), std::make_unique<LibraryTrackSource>(library()),
                                               TrackListOptions::library(title), &undoStack);
        show();
    }

    void show()
    {
        checkModel(list->model());
        list->resize(1400, 800);
        list->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(list.get()));
    }

    TrackTableModel& model() { return list->model(); }
    TrackTableView& table() { return list->table(); }

    int rowOf(const QString& title)
    {
        for (int row = 0; row < model().rowCount(); ++row) {
            if (model().trackAt(row).title == title)
                return row;
        }
        return -1;
    }

    QStringList shownTitles() { return titlesOf(model().shownTracks().tracks); }

    QPoint cellCentre(int row, TrackTableColumnID column = TrackTableColumnID::Title)
    {
        return table().visualRect(model().index(row, model().columnOf(column))).center();
    }

    void clickRow(int row, Qt::KeyboardModifiers modifiers = {})
    {
        QTest::mouseClick(table().viewport(), Qt::LeftButton, modifiers, cellCentre(row));
    }

    void clickControl(int row, TrackRowControl control)
    {
        QTest::mouseClick(table().viewport(), Qt::LeftButton, {}, table().controlRect(row, control).center());
    }

    void triggerMenuItem(int row, const QString& text)
    {
        std::unique_ptr<QMenu> menu(list->makeContextMenu(row));
        QAction* item = itemNamed(*menu, text);
        ASSERT_NE(item, nullptr) << text.toStdString();
        item->trigger();
    }

    std::unique_ptr<UiHarness> harness;
    QUndoStack undoStack;
    std::unique_ptr<TrackListView> list;
};

} // namespace varno::test
