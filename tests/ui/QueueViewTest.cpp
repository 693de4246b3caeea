// The queue view: its sections, what clicks, drags and the Delete key do to
// the queue engine, and how it copes with a very long queue.

#include "PlayerTestSupport.h"

#include "FakeEngines.h"
#include "ModelChecks.h"
#include "playback/OstrelQueueEngine.h"
#include "ui/EmptyStateView.h"
#include "ui/queue/QueueListModel.h"
#include "ui/queue/QueueView.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMimeData>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

using namespace varno;

namespace {

class QueueViewTest : public test::DataFolderTest {
protected:
    void SetUp() override
    {
        DataFolderTest::SetUp();
        harness = std::make_unique<test::UiHarness>();
        thumbnails.emplace(harness->container->thumbnailGenerator());
        queue.setAudioEngine(&audio);
    }

    void TearDown() override
    {
        test::settle();
        test::waitForRequests(thumbnails->pending);
        test::settle();
        harness.reset();
        DataFolderTest::TearDown();
    }

    // Whether Qt's model tester checks the view's model: everywhere but in
    // the test of a hundred thousand rows, which it would walk after every
    // change.
    enum class ModelCheck { On, Off };

    std::unique_ptr<QueueView> makeView(ModelCheck check = ModelCheck::On)
    {
        auto view = std::make_unique<QueueView>(test::environmentWith(*harness, {.audioEngine = &audio, .queueEngine = &queue, .thumbnailGenerator = &*thumbnails}));
        if (check == ModelCheck::On)
            test::checkModel(*view->model());
        view->resize(360, 640);
        view->show();
        return view;
    }

    static TrackList songs(const QStringList& titles)
    {
        TrackList list;
        for (const QString& title : titles)
            list.append(std::make_shared<const Track>(test::makeTrack(title)));
        return list;
    }

    // What each row shows, captions included.
    static QStringList rowsOf(const QueueView& view)
    {
        test::settle();
        QStringList rows;
        const QueueListModel& model = *view.model();
        for (int row = 0; row < model.rowCount(); ++row)
            rows << model.index(row).data(Qt::DisplayRole).toString();
        return rows;
    }

    static int rowShowing(const QueueView& view, const QString& title, QueueListModel::RowKind kind)
    {
        test::settle();
        const QueueListModel& model = *view.model();
        for (int row = 0; row < model.rowCount(); ++row) {
            if (model.row(row).kind == kind && model.index(row).data(Qt::DisplayRole).toString() == title)
                return row;
        }
        ADD_FAILURE() << "no row shows " << title.toStdString();
        return -1;
    }

    static void clickRow(QueueView& view, int row)
    {
        view.list()->scrollTo(view.model()->index(row));
        const QRect rect = view.list()->visualRect(view.model()->index(row));
        QTest::mouseClick(view.list()->viewport(), Qt::LeftButton, {}, rect.center());
    }

    std::unique_ptr<test::UiHarness> harness;
    std::optional<test::TrackedThumbnails> thumbnails;
    test::FakeAudioEngine audio;
    OstrelQueueEngine queue;
};

} // namespace

TEST_F(QueueViewTest, anEmptyQueueSaysSoAndOffersNoClear)
{
    const auto view = makeView();
    EXPECT_TRUE(view->isShowingEmptyState());
    const auto* empty = view->findChild<EmptyStateView*>();
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(empty->title(), "Queue is empty");
    EXPECT_EQ(empty->subtitle(), "Play a song to start building your queue");
    EXPECT_FALSE(view->clearButton()->isVisible());
}

TEST_F(QueueViewTest, listsTheCurrentSongThenUpcomingThenHistoryNewestFirst)
{
    TrackList five = songs({"A", "B", "C", "D", "E"});
    Track withArtist = test::makeTrack(QStringLiteral("F"));
    withArtist.artist = QStringLiteral("Ines Marlow");
    five.append(std::make_shared<const Track>(withArtist));
    queue.playNow(five, 2);
    const auto view = makeView();

    EXPECT_FALSE(view->isShowingEmptyState());
    EXPECT_EQ(rowsOf(*view), QStringList({"NOW PLAYING", "C", "UPCOMING", "D", "E", "F", "HISTORY", "B", "A"}));
    const QueueListModel& model = *view->model();
    EXPECT_TRUE(model.index(1).data(QueueListModel::IsPlayingRole).toBool());
    EXPECT_FALSE(model.index(3).data(QueueListModel::IsPlayingRole).toBool());
    EXPECT_EQ(model.index(3).data(QueueListModel::ArtistRole).toString(), "Unknown Artist");
    EXPECT_EQ(model.index(5).data(QueueListModel::ArtistRole).toString(), "Ines Marlow");
    // Captions are not songs: nothing to select or drag.
    EXPECT_FALSE(model.flags(model.index(0)) & Qt::ItemIsSelectable);
    EXPECT_TRUE(model.flags(model.index(3)) & Qt::ItemIsDragEnabled);
    EXPECT_FALSE(model.flags(model.index(1)) & Qt::ItemIsDragEnabled);
    EXPECT_FALSE(model.flags(model.index(7)) & Qt::ItemIsDragEnabled);
}

TEST_F(QueueViewTest, followsTheQueueAsItChanges)
{
    const auto view = makeView();
    queue.playNow(songs({"A", "B"}));
    EXPECT_EQ(rowsOf(*view), QStringList({"NOW PLAYING", "A", "UPCOMING", "B"}));
    queue.advanceToNext();
    EXPECT_EQ(rowsOf(*view), QStringList({"NOW PLAYING", "B", "HISTORY", "A"}));
}

TEST_F(QueueViewTest, clickingAnUpcomingSongPlaysItAndKeepsTheSongsAfterItInTheirOrder)
{
    queue.setShuffleMode(ShuffleMode::Standard);
    queue.playNow(songs({"Now", "U1", "U2", "U3", "U4", "U5", "U6", "U7", "U8"}));
    const QStringList dealt = test::titlesOf(queue.upcoming());
    const auto view = makeView();
    audio.requests.clear();

    clickRow(*view, rowShowing(*view, dealt[2], QueueListModel::RowKind::Upcoming));
    ASSERT_TRUE(queue.currentTrack());
    EXPECT_EQ(queue.currentTrack()->title, dealt[2]);
    // Nothing is dealt again: what follows plays as the queue showed it.
    EXPECT_EQ(test::titlesOf(queue.upcoming()), dealt.mid(3));
    EXPECT_EQ(test::titlesOf(queue.history()), QStringList({"Now", dealt[0], dealt[1]}));
    EXPECT_EQ(audio.requests, QStringList({"play"}));
    EXPECT_EQ(rowsOf(*view).mid(0, 3), QStringList({"NOW PLAYING", dealt[2], "UPCOMING"}));
}

TEST_F(QueueViewTest, clickingAHistorySongLeavesAQueueOfThatSongAlone)
{
    queue.playNow(songs({"H1", "H2", "Now", "Next"}), 2);
    const auto view = makeView();
    clickRow(*view, rowShowing(*view, "H1", QueueListModel::RowKind::History));
    EXPECT_EQ(queue.currentTrack()->title, "H1");
    EXPECT_TRUE(queue.upcoming().empty());
    EXPECT_TRUE(queue.history().empty());
    EXPECT_EQ(rowsOf(*view), QStringList({"NOW PLAYING", "H1"}));
}

TEST_F(QueueViewTest, clickingTheCurrentSongOrACaptionChangesNothing)
{
    queue.playNow(songs({"H1", "Now", "Next"}), 1);
    const auto view = makeView();
    audio.requests.clear();
    clickRow(*view, rowShowing(*view, "Now", QueueListModel::RowKind::Current));
    clickRow(*view, 0);
    EXPECT_EQ(queue.currentTrack()->title, "Now");
    EXPECT_EQ(test::titlesOf(queue.upcoming()), QStringList({"Next"}));
    EXPECT_EQ(test::titlesOf(queue.history()), QStringList({"H1"}));
    EXPECT_TRUE(audio.requests.isEmpty());
}

TEST_F(QueueViewTest, clearIsOfferedOnlyWhileSongsAreUpcoming)
{
    queue.playNow(songs({"Only"}));
    const auto view = makeView();
    QPushButton* clear = view->clearButton();
    EXPECT_EQ(clear->text(), "Clear");
    EXPECT_FALSE(clear->isVisible());

    queue.playLast(songs({"Later", "Much later"}));
    EXPECT_TRUE(clear->isVisible());
    QTest::mouseClick(clear, Qt::LeftButton);
    EXPECT_TRUE(queue.upcoming().empty());
    EXPECT_EQ(queue.currentTrack()->title, "Only");
    EXPECT_FALSE(clear->isVisible());
}

TEST_F(QueueViewTest, draggingAnUpcomingSongBelowAnotherMovesItThere)
{
    queue.playNow(songs({"Now", "U1", "U2", "U3", "U4"}));
    const auto view = makeView();
    QueueListModel& model = *view->model();
    QWidget* viewport = view->list()->viewport();
    const int dragged = rowShowing(*view, "U1", QueueListModel::RowKind::Upcoming);
    const QRect target = view->list()->visualRect(model.index(rowShowing(*view, "U3", QueueListModel::RowKind::Upcoming)));

    // Dropped on the lower half of U3: after it.
    const auto drop = [&](QPoint at) {
        std::unique_ptr<QMimeData> payload(model.mimeData({model.index(dragged)}));
        ASSERT_NE(payload, nullptr);
        QDragEnterEvent enter(at, Qt::MoveAction, payload.get(), Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(viewport, &enter);
        QDragMoveEvent move(at, Qt::MoveAction, payload.get(), Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(viewport, &move);
        QDropEvent dropped(at, Qt::MoveAction, payload.get(), Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(viewport, &dropped);
    };
    drop(QPoint(target.center().x(), target.bottom() - 3));
    EXPECT_EQ(test::titlesOf(queue.upcoming()), QStringList({"U2", "U3", "U1", "U4"}));

    // The current song's row is no place for an upcoming song.
    const QRect current = view->list()->visualRect(model.index(rowShowing(*view, "Now", QueueListModel::RowKind::Current)));
    drop(QPoint(current.center().x(), current.top() + 3));
    EXPECT_EQ(test::titlesOf(queue.upcoming()), QStringList({"U2", "U3", "U1", "U4"}));
    EXPECT_EQ(queue.currentTrack()->title, "Now");
}

TEST_F(QueueViewTest, theDeleteKeyRemovesSelectedUpcomingSongsOnly)
{
    queue.playNow(songs({"H1", "Now", "U1", "U2", "U3", "U4"}), 1);
    const auto view = makeView();
    QItemSelectionModel* selection = view->list()->selectionModel();
    const QueueListModel& model = *view->model();
    for (const char* title : {"U2", "U4"})
        selection->select(model.index(rowShowing(*view, title, QueueListModel::RowKind::Upcoming)), QItemSelectionModel::Select);
    selection->select(model.index(rowShowing(*view, "H1", QueueListModel::RowKind::History)), QItemSelectionModel::Select);

    view->list()->setFocus();
    QTest::keyClick(view->list(), Qt::Key_Delete);
    EXPECT_EQ(test::titlesOf(queue.upcoming()), QStringList({"U1", "U3"}));
    EXPECT_EQ(test::titlesOf(queue.history()), QStringList({"H1"}));
    EXPECT_EQ(queue.currentTrack()->title, "Now");
    EXPECT_EQ(rowsOf(*view), QStringList({"NOW PLAYING", "Now", "UPCOMING", "U1", "U3", "HISTORY", "H1"}));
}

// --- the row menu ------------------------------------------------------------

namespace {

// Right-clicks the row as a mouse would and returns the menu it opened.
QMenu* openRowMenu(QueueView& view, int row)
{
    QWidget* viewport = view.list()->viewport();
    const QPoint at = view.list()->visualRect(view.model()->index(row)).center();
    QTest::mousePress(viewport, Qt::RightButton, {}, at);
    QTest::mouseRelease(viewport, Qt::RightButton, {}, at);
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, viewport->mapToGlobal(at));
    QApplication::sendEvent(viewport, &event);
    return qobject_cast<QMenu*>(QApplication::activePopupWidget());
}

void choose(QMenu& menu, const QString& item)
{
    for (QAction* action : menu.actions()) {
        if (action->text() == item) {
            QTest::mouseClick(&menu, Qt::LeftButton, {}, menu.actionGeometry(action).center());
            return;
        }
    }
    ADD_FAILURE() << "no menu item " << item.toStdString();
}

QStringList itemsOf(const QMenu& menu)
{
    QStringList items;
    for (const QAction* action : menu.actions())
        items << action->text() + (action->isEnabled() ? "" : " (off)");
    return items;
}

} // namespace

TEST_F(QueueViewTest, anUpcomingRowsMenuPlaysItPlaysItNextOrRemovesIt)
{
    queue.playNow(songs({"H1", "Now", "U1", "U2", "U3", "U4"}), 1);
    const auto view = makeView();
    audio.requests.clear();

    QMenu* menu = openRowMenu(*view, rowShowing(*view, "U3", QueueListModel::RowKind::Upcoming));
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(itemsOf(*menu), QStringList({"Play", "Play Next", "Remove from Queue"}));
    // The right click chose nothing to play.
    EXPECT_TRUE(audio.requests.isEmpty());
    choose(*menu, "Play Next");
    EXPECT_EQ(test::titlesOf(queue.upcoming()), QStringList({"U3", "U1", "U2", "U4"}));
    EXPECT_EQ(queue.currentTrack()->title, "Now");

    menu = openRowMenu(*view, rowShowing(*view, "U2", QueueListModel::RowKind::Upcoming));
    ASSERT_NE(menu, nullptr);
    choose(*menu, "Remove from Queue");
    EXPECT_EQ(test::titlesOf(queue.upcoming()), QStringList({"U3", "U1", "U4"}));

    menu = openRowMenu(*view, rowShowing(*view, "U4", QueueListModel::RowKind::Upcoming));
    ASSERT_NE(menu, nullptr);
    choose(*menu, "Play");
    EXPECT_EQ(queue.currentTrack()->title, "U4");
    EXPECT_EQ(test::titlesOf(queue.history()), QStringList({"H1", "Now", "U3", "U1"}));
    EXPECT_TRUE(queue.upcoming().empty());
    EXPECT_EQ(audio.requests, QStringList({"play"}));
}

TEST_F(QueueViewTest, theRowMenuActsOnTheWholeSelectionWhenTheRowIsPartOfIt)
{
    queue.playNow(songs({"H1", "Now", "U1", "U2", "U3", "U4", "U5"}), 1);
    const auto view = makeView();
    QItemSelectionModel* selection = view->list()->selectionModel();
    const QueueListModel& model = *view->model();
    for (const char* title : {"U2", "U4"})
        selection->select(model.index(rowShowing(*view, title, QueueListModel::RowKind::Upcoming)), QItemSelectionModel::Select);

    QMenu* menu = openRowMenu(*view, rowShowing(*view, "U4", QueueListModel::RowKind::Upcoming));
    ASSERT_NE(menu, nullptr);
    choose(*menu, "Play Next");
    EXPECT_EQ(test::titlesOf(queue.upcoming()), QStringList({"U2", "U4", "U1", "U3", "U5"}));

    // A row outside the selection acts alone.
    menu = openRowMenu(*view, rowShowing(*view, "U5", QueueListModel::RowKind::Upcoming));
    ASSERT_NE(menu, nullptr);
    choose(*menu, "Remove from Queue");
    EXPECT_EQ(test::titlesOf(queue.upcoming()), QStringList({"U2", "U4", "U1", "U3"}));

    // A history song is queued again; it cannot be removed from what was
    // played.
    menu = openRowMenu(*view, rowShowing(*view, "H1", QueueListModel::RowKind::History));
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(itemsOf(*menu), QStringList({"Play", "Play Next", "Remove from Queue (off)"}));
    choose(*menu, "Play Next");
    EXPECT_EQ(test::titlesOf(queue.upcoming()), QStringList({"H1", "U2", "U4", "U1", "U3"}));
    EXPECT_EQ(test::titlesOf(queue.history()), QStringList({"H1"}));

    // The current song and the captions have no menu.
    EXPECT_EQ(openRowMenu(*view, rowShowing(*view, "Now", QueueListModel::RowKind::Current)), nullptr);
    EXPECT_EQ(openRowMenu(*view, 0), nullptr);
}

TEST_F(QueueViewTest, whatTheRowMenuAndTheDeleteKeyChangeIsWhatTheSessionSaves)
{
    const std::vector<Track> imported =
        harness->importSongs(scratch("music"), {QStringLiteral("Now"), QStringLiteral("U1"), QStringLiteral("U2"), QStringLiteral("U3"), QStringLiteral("U4")});
    ASSERT_EQ(imported.size(), 5u);
    QueueEngine& saving = harness->container->queueEngine();
    saving.playNow(TrackList(imported), 0);
    QueueView view(test::environmentWith(*harness, {.thumbnailGenerator = &*thumbnails}));
    view.resize(360, 640);
    view.show();

    QMenu* menu = openRowMenu(view, rowShowing(view, "U2", QueueListModel::RowKind::Upcoming));
    ASSERT_NE(menu, nullptr);
    choose(*menu, "Remove from Queue");
    menu = openRowMenu(view, rowShowing(view, "U4", QueueListModel::RowKind::Upcoming));
    ASSERT_NE(menu, nullptr);
    choose(*menu, "Play Next");
    test::settle();
    view.list()->selectionModel()->select(view.model()->index(rowShowing(view, "U1", QueueListModel::RowKind::Upcoming)),
                                         QItemSelectionModel::ClearAndSelect);
    view.list()->setFocus();
    QTest::keyClick(view.list(), Qt::Key_Delete);
    EXPECT_EQ(test::titlesOf(saving.upcoming()), QStringList({"U4", "U3"}));

    const auto idText = [](const Track& song) { return song.id.toString(QUuid::WithoutBraces).toUpper(); };
    const QJsonArray expected {idText(imported[4]), idText(imported[3])};
    const QString session = appFile(QStringLiteral("playback_state.json"));
    EXPECT_TRUE(test::waitUntil([&] {
        return QFile::exists(session)
               && QJsonDocument::fromJson(test::readFile(session)).object().value("upcomingTrackIDs").toArray() == expected;
    })) << test::readFile(session).toStdString();
}

TEST_F(QueueViewTest, aQueueOfAHundredThousandSongsIsListedWithoutAWidgetPerSong)
{
    QList<SharedTrack> many;
    many.reserve(100000);
    for (int i = 0; i < 100000; ++i)
        many.append(std::make_shared<const Track>(test::makeTrack(QStringLiteral("Song %1").arg(i))));
    queue.playNow(TrackList(many));
    const auto view = makeView(ModelCheck::Off);
    test::settle();
    QueueListModel& model = *view->model();
    ASSERT_EQ(model.rowCount(), 100002);
    view->list()->scrollToBottom();
    test::settle();
    EXPECT_EQ(model.index(100001).data(Qt::DisplayRole).toString(), "Song 99999");
    EXPECT_LT(view->findChildren<QWidget*>().size(), 60);

    // Playing from deep in the list moves the current song and everything
    // before it to history.
    clickRow(*view, 100001);
    EXPECT_EQ(queue.currentTrack()->title, "Song 99999");
    EXPECT_EQ(queue.history().size(), 99999u);
    EXPECT_TRUE(queue.upcoming().empty());
    test::settle();
    EXPECT_EQ(model.rowCount(), 2 + 1 + 99999);
}

TEST_F(QueueViewTest, aSongsThumbnailIsLoadedOnceAndKept)
{
    const Track covered = test::writeSong(scratch("covered.wav"), QStringLiteral("Covered"), std::nullopt, 1.0,
                                          fixtures::makeJpegCover(200, 200, QColor(30, 120, 200)));
    queue.playNow(TrackList {covered, test::makeTrack(QStringLiteral("Bare"))});
    const auto view = makeView();
    QueueListModel& model = *view->model();
    QSignalSpy loaded(&model, &QueueListModel::thumbnailLoaded);
    const int row = rowShowing(*view, "Covered", QueueListModel::RowKind::Current);

    view->list()->viewport()->repaint();
    ASSERT_TRUE(test::waitUntil([&] { return model.hasThumbnail(covered.id); }));
    const QImage thumbnail = model.index(row).data(Qt::DecorationRole).value<QImage>();
    EXPECT_EQ(thumbnail.size(), QSize(64, 64));

    // A second request would be counted as pending until it ends.
    view->list()->viewport()->repaint();
    test::waitForRequests(thumbnails->pending);
    const auto loadsOfCovered = [&] {
        return std::count_if(loaded.begin(), loaded.end(), [&](const QList<QVariant>& call) { return call[0].toUuid() == covered.id; });
    };
    EXPECT_EQ(loadsOfCovered(), 1);
}
