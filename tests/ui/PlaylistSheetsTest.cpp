#include "TestSupport.h"
#include "UiHarness.h"

#include "playlists/PlaylistEngine.h"
#include "ui/editors/PlaylistRenameSheet.h"
#include "ui/playlists/SmartPlaylistSetupView.h"
#include "storage/SmartRule.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

namespace varno {
namespace {

class PlaylistSheetsTest : public test::DataFolderTest {
protected:
    void SetUp() override
    {
        DataFolderTest::SetUp();
        harness = std::make_unique<test::UiHarness>();
    }
    void TearDown() override
    {
        rename.reset();
        smart.reset();
        harness.reset();
        DataFolderTest::TearDown();
    }

    PlaylistEngine& playlists() { return harness->container->playlistEngine(); }

    PlaylistRenameSheet& openRename(const Playlist& playlist)
    {
        rename = std::make_unique<PlaylistRenameSheet>(playlist, playlists());
        rename->show();
        rename->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(rename.get()));
        return *rename;
    }

    void retype(QLineEdit* field, const QString& text)
    {
        field->selectAll();
        QTest::keyClick(field, Qt::Key_Delete);
        QTest::keyClicks(field, text);
    }

    SmartPlaylistSetupView& openSmart()
    {
        smart = std::make_unique<SmartPlaylistSetupView>(playlists());
        smart->show();
        smart->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(smart.get()));
        return *smart;
    }

    // Sets the rule at `index` as the user would, through its row.
    void setRule(int index, const QString& property, const QString& condition, const QString& value)
    {
        QWidget* row = smart->ruleRow(index);
        ASSERT_NE(row, nullptr);
        auto* properties = row->findChild<QComboBox*>(QStringLiteral("property"));
        auto* conditions = row->findChild<QComboBox*>(QStringLiteral("condition"));
        properties->setCurrentIndex(properties->findText(property));
        conditions->setCurrentIndex(conditions->findText(condition));
        QTest::keyClicks(row->findChild<QLineEdit*>(QStringLiteral("value")), value);
    }

    // Clicks "Create" and waits for the playlist to appear at the top level.
    std::optional<Playlist> create()
    {
        const qsizetype before = playlists().rootPlaylists().size();
        QTest::mouseClick(smart->createButton(), Qt::LeftButton);
        if (!test::waitUntil([&] { return playlists().rootPlaylists().size() > before; }))
            return std::nullopt;
        return playlists().rootPlaylists().last();
    }

    std::unique_ptr<test::UiHarness> harness;
    std::unique_ptr<PlaylistRenameSheet> rename;
    std::unique_ptr<SmartPlaylistSetupView> smart;
};

// --- Rename ----------------------------------------------------------------

TEST_F(PlaylistSheetsTest, RenameIsOffForBlankOrUnchangedNames)
{
    const Playlist mix = test::await(playlists().createPlaylist(QStringLiteral("Mix")));
    openRename(mix);
    EXPECT_EQ(rename->windowTitle(), QStringLiteral("Rename Playlist"));
    EXPECT_EQ(rename->nameField()->text(), QStringLiteral("Mix"));
    EXPECT_EQ(rename->nameField()->placeholderText(), QStringLiteral("Playlist name"));
    EXPECT_TRUE(rename->nameField()->hasFocus());
    EXPECT_EQ(rename->cancelButton()->text(), QStringLiteral("Cancel"));
    EXPECT_EQ(rename->renameButton()->text(), QStringLiteral("Rename"));

    for (const char* name : {"Mix", "  Mix  ", "", "   ", "\t"}) {
        retype(rename->nameField(), QString::fromUtf8(name));
        EXPECT_FALSE(rename->renameButton()->isEnabled()) << '"' << name << '"';
        // Return does nothing either.
        QTest::keyClick(rename->nameField(), Qt::Key_Return);
        EXPECT_TRUE(rename->isVisible());
    }
    retype(rename->nameField(), QStringLiteral("mix"));
    EXPECT_TRUE(rename->renameButton()->isEnabled());
}

TEST_F(PlaylistSheetsTest, ReturnRenamesWithTheTrimmedNameAndCloses)
{
    const Playlist mix = test::await(playlists().createPlaylist(QStringLiteral("Mix")));
    openRename(mix);
    retype(rename->nameField(), QStringLiteral("  Road Trip  "));
    QTest::keyClick(rename->nameField(), Qt::Key_Return);
    ASSERT_TRUE(test::waitUntil([&] { return !rename->isVisible(); }));
    EXPECT_EQ(rename->result(), QDialog::Accepted);
    EXPECT_EQ(test::namesOf(playlists().rootPlaylists()), QStringList {QStringLiteral("Road Trip")});
}

TEST_F(PlaylistSheetsTest, ANameOverTheLimitIsRefusedInRedAndTheSheetKeepsIt)
{
    const Playlist mix = test::await(playlists().createPlaylist(QStringLiteral("Mix")));
    openRename(mix);
    // 121 user-perceived characters, one of them built of two code points.
    const QString tooLong = QString(120, QLatin1Char('a')) + QStringLiteral("e\u0301");
    // Pasted: the test keyboard types only ASCII.
    rename->nameField()->setText(tooLong);
    QTest::keyClick(rename->nameField(), Qt::Key_Return, Qt::ControlModifier);
    ASSERT_TRUE(test::waitUntil([&] { return rename->errorMessage().has_value(); }));

    EXPECT_EQ(*rename->errorMessage(), QStringLiteral("Playlist names must be 120 characters or fewer."));
    EXPECT_TRUE(rename->errorLabel()->isVisibleTo(rename.get()));
    EXPECT_EQ(rename->errorLabel()->text(), *rename->errorMessage());
    EXPECT_TRUE(rename->isVisible());
    EXPECT_EQ(rename->nameField()->text(), tooLong);
    EXPECT_EQ(test::namesOf(playlists().rootPlaylists()), QStringList {QStringLiteral("Mix")});

    // Ctrl+Escape cancels; nothing was renamed.
    QTest::keyClick(rename->nameField(), Qt::Key_Escape, Qt::ControlModifier);
    EXPECT_FALSE(rename->isVisible());
    EXPECT_EQ(rename->result(), QDialog::Rejected);
}

// --- Smart playlists -------------------------------------------------------

TEST_F(PlaylistSheetsTest, TheDefaultSheetCreatesAnUntitledArtistContainsPlaylist)
{
    openSmart();
    EXPECT_EQ(smart->nameField()->text(), QStringLiteral("Untitled Smart Playlist"));
    EXPECT_EQ(smart->nameField()->placeholderText(), QStringLiteral("e.g. Late Night Focus"));
    EXPECT_EQ(smart->matchModeBox()->currentText(), QStringLiteral("ALL"));
    ASSERT_EQ(smart->ruleRowCount(), 1);
    EXPECT_EQ(smart->ruleRow(0)->findChild<QComboBox*>(QStringLiteral("property"))->currentText(), QStringLiteral("Artist"));
    EXPECT_EQ(smart->ruleRow(0)->findChild<QComboBox*>(QStringLiteral("condition"))->currentText(), QStringLiteral("contains"));
    EXPECT_EQ(smart->ruleRow(0)->findChild<QLineEdit*>(QStringLiteral("value"))->placeholderText(), QStringLiteral("Value"));

    const std::optional<Playlist> created = create();
    ASSERT_TRUE(created);
    EXPECT_EQ(created->name, QStringLiteral("Untitled Smart Playlist"));
    EXPECT_EQ(created->type.criteria(), QStringLiteral("Artist contains "));
    EXPECT_EQ(created->type.rules(), (SmartRuleSet {true, {SmartRule {}}}));
    EXPECT_TRUE(created->trackIDs.isEmpty());
    EXPECT_TRUE(test::waitUntil([&] { return !smart->isVisible(); }));
}

TEST_F(PlaylistSheetsTest, RulesJoinWithAndOrOrInListOrder)
{
    for (const bool matchAll : {true, false}) {
        openSmart();
        retype(smart->nameField(), matchAll ? QStringLiteral("All of them") : QStringLiteral("Any of them"));
        setRule(0, QStringLiteral("Genre"), QStringLiteral("contains"), QStringLiteral("Jazz"));
        QTest::mouseClick(smart->addRuleButton(), Qt::LeftButton);
        ASSERT_EQ(smart->ruleRowCount(), 2);
        setRule(1, QStringLiteral("Year"), QStringLiteral(">"), QStringLiteral("1990"));
        smart->matchModeBox()->setCurrentIndex(smart->matchModeBox()->findText(matchAll ? QStringLiteral("ALL") : QStringLiteral("ANY")));

        const std::optional<Playlist> created = create();
        ASSERT_TRUE(created);
        EXPECT_EQ(created->type.criteria(),
                  matchAll ? QStringLiteral("Genre contains Jazz AND Year > 1990") : QStringLiteral("Genre contains Jazz OR Year > 1990"));
    }
}

TEST_F(PlaylistSheetsTest, RemovingEveryRuleGivesEmptyCriteriaAndCancelCreatesNothing)
{
    openSmart();
    QTest::mouseClick(smart->addRuleButton(), Qt::LeftButton);
    setRule(1, QStringLiteral("Play Count"), QStringLiteral("<"), QStringLiteral("3"));
    setRule(0, QStringLiteral("Rating"), QStringLiteral("is"), QStringLiteral("5"));
    QTest::mouseClick(smart->ruleRow(0)->findChild<QToolButton*>(QStringLiteral("removeRule")), Qt::LeftButton);
    ASSERT_EQ(smart->ruleRowCount(), 1);
    EXPECT_EQ(smart->state().criteriaText(), QStringLiteral("Play Count < 3"));
    QTest::mouseClick(smart->ruleRow(0)->findChild<QToolButton*>(QStringLiteral("removeRule")), Qt::LeftButton);
    EXPECT_EQ(smart->ruleRowCount(), 0);

    const std::optional<Playlist> created = create();
    ASSERT_TRUE(created);
    EXPECT_EQ(created->type, PlaylistType::smart(SmartRuleSet {}));

    // The sheet hands a creation to the engine at once, so once the
    // engine's operations have ended a cancelled sheet has made nothing...
    openSmart();
    QTest::mouseClick(smart->cancelButton(), Qt::LeftButton);
    EXPECT_FALSE(smart->isVisible());
    test::await(playlists().waitForPendingOperations());
    EXPECT_EQ(playlists().rootPlaylists().size(), 1);
    // ...where the same wait sees what Create makes.
    openSmart();
    retype(smart->nameField(), QStringLiteral("Made"));
    QTest::mouseClick(smart->createButton(), Qt::LeftButton);
    test::await(playlists().waitForPendingOperations());
    EXPECT_EQ(playlists().rootPlaylists().size(), 2);
}

TEST_F(PlaylistSheetsTest, ANumberRuleWithoutANumberIsRefusedInRedAndReturnCreatesOnceItHasOne)
{
    openSmart();
    retype(smart->nameField(), QStringLiteral("Loved"));
    setRule(0, QStringLiteral("Rating"), QStringLiteral(">"), QStringLiteral("abc"));
    auto* value = smart->ruleRow(0)->findChild<QLineEdit*>(QStringLiteral("value"));
    QTest::keyClick(value, Qt::Key_Return);

    ASSERT_TRUE(test::waitUntil([&] { return smart->errorLabel()->isVisibleTo(smart.get()); }));
    EXPECT_EQ(smart->errorLabel()->text(), QStringLiteral("Rating needs a whole number, not \u201Cabc\u201D."));
    EXPECT_TRUE(smart->isVisible());
    EXPECT_TRUE(value->hasFocus());
    test::await(playlists().waitForPendingOperations());
    EXPECT_TRUE(playlists().rootPlaylists().isEmpty());

    // Typed over (the value is selected) and submitted with Return.
    QTest::keyClicks(value, QStringLiteral("3"));
    QTest::keyClick(value, Qt::Key_Return);
    ASSERT_TRUE(test::waitUntil([&] { return !smart->isVisible(); }));
    ASSERT_EQ(playlists().rootPlaylists().size(), 1);
    EXPECT_EQ(playlists().rootPlaylists()[0].type.criteria(), QStringLiteral("Rating > 3"));
    EXPECT_TRUE(test::readFile(appFile(QStringLiteral("playlist_records.json")))
                    .contains(R"("smartRules":{"matchAll":true,"rules":[{"property":"Rating","condition":">","value":"3"}]})"));
}

TEST_F(PlaylistSheetsTest, ASmartPlaylistsRulesAreEditedInTheSameSheet)
{
    const Playlist made = test::await(playlists().createSmartPlaylist(QStringLiteral("Jazz"), QStringLiteral("Genre contains Jazz OR Year > 1990")));
    smart = std::make_unique<SmartPlaylistSetupView>(playlists(), made);
    smart->show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(smart.get()));
    EXPECT_EQ(smart->windowTitle(), QStringLiteral("Edit Smart Playlist"));
    EXPECT_EQ(smart->createButton()->text(), QStringLiteral("Save"));
    EXPECT_EQ(smart->matchModeBox()->currentText(), QStringLiteral("ANY"));
    ASSERT_EQ(smart->ruleRowCount(), 2);
    EXPECT_EQ(smart->ruleRow(1)->findChild<QLineEdit*>(QStringLiteral("value"))->text(), QStringLiteral("1990"));

    retype(smart->ruleRow(1)->findChild<QLineEdit*>(QStringLiteral("value")), QStringLiteral("2000"));
    smart->matchModeBox()->setCurrentIndex(smart->matchModeBox()->findText(QStringLiteral("ALL")));
    QTest::mouseClick(smart->createButton(), Qt::LeftButton);
    ASSERT_TRUE(test::waitUntil([&] { return !smart->isVisible(); }));
    const Playlist saved = *playlists().getPlaylist(made.id);
    EXPECT_EQ(saved.type.criteria(), QStringLiteral("Genre contains Jazz AND Year > 2000"));
    EXPECT_EQ(saved.name, QStringLiteral("Jazz"));
    EXPECT_EQ(playlists().rootPlaylists().size(), 1);
}

TEST_F(PlaylistSheetsTest, AFailedCreationIsPrintedAndTheSheetStaysAsItWas)
{
    // A store that no longer decodes refuses every change.
    test::writeFile(appFile(QStringLiteral("playlist_records.json")), "[{\"id\": 17}]");
    openSmart();
    retype(smart->nameField(), QStringLiteral("Kept"));
    // The sheet's own task prints the failure once it resumes after the
    // engine's.
    const test::DiagnosticCapture printed;
    QTest::mouseClick(smart->createButton(), Qt::LeftButton);
    EXPECT_TRUE(test::waitUntil([&] { return printed.text().startsWith(QStringLiteral("Failed to create smart playlist: ")); }))
        << printed.text().toStdString();
    EXPECT_TRUE(smart->isVisible());
    EXPECT_EQ(smart->nameField()->text(), QStringLiteral("Kept"));
    EXPECT_EQ(smart->ruleRowCount(), 1);
    EXPECT_TRUE(smart->createButton()->isEnabled());
}

} // namespace
} // namespace varno
