#include "EditorTestSupport.h"
#include "FakeEngines.h"

#include "edits/TrackEditor.h"
#include "edits/TrackMetadataBatchCoordinator.h"
#include "ui/editors/BulkMetadataEditorSheet.h"
#include "ui/editors/StarRatingControl.h"
#include "ui/player/ArtworkTile.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

namespace varno {
namespace {

using Field = BulkMetadataEditorSheet::Field;

// Three songs: two by one artist with covers, one by another without; their
// ratings differ.
class SharedMetadataEditorTest : public test::DataFolderTest {
protected:
    void SetUp() override
    {
        DataFolderTest::SetUp();
        for (const char* title : {"One", "Two", "Three"})
            library.tracks.push_back(test::makeTrack(QString::fromUtf8(title)));
        library.tracks[0].artist = library.tracks[1].artist = QStringLiteral("The Quiet Hours");
        library.tracks[2].artist = QStringLiteral("Low Tide");
        library.tracks[0].album = library.tracks[1].album = library.tracks[2].album = QStringLiteral("Harbour Songs");
        library.tracks[0].rating = 4;
        artwork.covers.insert(library.tracks[0].id, "cover one");
        artwork.covers.insert(library.tracks[1].id, "cover two");
        tracksBefore = library.tracks;
        coversBefore = artwork.covers;
    }

    void TearDown() override
    {
        test::finishPoolWork();
        sheet.reset();
        DataFolderTest::TearDown();
    }

    BulkMetadataEditorSheet& open()
    {
        coordinator.beginEditing(library.tracks);
        sheet = std::make_unique<BulkMetadataEditorSheet>(coordinator, dialogs);
        sheet->show();
        sheet->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(sheet.get()));
        return *sheet;
    }

    void type(Field field, const QString& text)
    {
        QLineEdit* edit = sheet->field(field);
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Delete);
        QTest::keyClicks(edit, text);
    }

    void chooseArtwork(const QString& file)
    {
        dialogs.imageAnswers.push_back(FileURL::fromLocalFile(file));
        QTest::mouseClick(sheet->chooseArtworkButton(), Qt::LeftButton);
        ASSERT_TRUE(test::waitUntil([&] { return !sheet->isLoadingArtwork(); }));
    }

    test::FakeLibrary library;
    test::FakeArtworkCache artwork;
    test::FakeDialogs dialogs;
    TrackEditor editor {library, artwork};
    TrackMetadataBatchCoordinator coordinator {editor, artwork};
    std::vector<Track> tracksBefore;
    QHash<QUuid, QByteArray> coversBefore;
    std::unique_ptr<BulkMetadataEditorSheet> sheet;
};

TEST_F(SharedMetadataEditorTest, OpensWithTheSharedValuesAndNothingSwitchedOn)
{
    open();
    EXPECT_EQ(sheet->windowTitle(), QStringLiteral("Edit Shared Metadata"));
    EXPECT_EQ(sheet->subtitleLabel()->text(), QStringLiteral("3 songs selected"));
    EXPECT_EQ(sheet->findChild<QToolButton*>(QStringLiteral("sheetClose"))->accessibleName(), QStringLiteral("Close shared metadata editor"));
    // The artists differ: empty and marked mixed. The album is shared.
    EXPECT_EQ(sheet->field(Field::Artist)->text(), QString());
    EXPECT_EQ(sheet->field(Field::Artist)->placeholderText(), QStringLiteral("Mixed"));
    EXPECT_EQ(sheet->field(Field::Album)->text(), QStringLiteral("Harbour Songs"));
    for (int i = 0; i < BulkMetadataEditorSheet::kFieldCount; ++i)
        EXPECT_FALSE(sheet->fieldSwitch(static_cast<Field>(i))->isChecked());
    EXPECT_EQ(sheet->fieldSwitch(Field::DiscNumber)->text(), QStringLiteral("Disc #"));
    EXPECT_TRUE(sheet->mixedRatingLabel()->isVisibleTo(sheet.get()));
    EXPECT_EQ(sheet->mixedRatingLabel()->text(), QStringLiteral("Mixed"));

    // Nothing switched on, no rating, no image: Apply is off.
    EXPECT_EQ(sheet->applyButton()->text(), QStringLiteral("Apply to 3 Songs"));
    EXPECT_EQ(sheet->applyButton()->objectName(), QStringLiteral("sharedMetadata.apply"));
    EXPECT_FALSE(sheet->applyButton()->isEnabled());
    EXPECT_FALSE(sheet->canApply());
}

TEST_F(SharedMetadataEditorTest, TypingInAFieldSwitchesItOnAndEnablesApply)
{
    open();
    type(Field::Genre, QStringLiteral("Folk"));
    EXPECT_TRUE(sheet->fieldSwitch(Field::Genre)->isChecked());
    EXPECT_TRUE(sheet->applyButton()->isEnabled());
    // Switched off again, the typed text is not applied.
    sheet->fieldSwitch(Field::Genre)->setChecked(false);
    EXPECT_FALSE(sheet->applyButton()->isEnabled());
}

TEST_F(SharedMetadataEditorTest, StarsChangeTheRatingOnlyItsSwitchAppliesIt)
{
    open();
    QTest::mouseClick(sheet->stars()->star(2), Qt::LeftButton);
    EXPECT_EQ(sheet->draft().rating, 2);
    EXPECT_FALSE(sheet->draft().isRatingApplied);
    EXPECT_FALSE(sheet->applyButton()->isEnabled());
    EXPECT_TRUE(sheet->mixedRatingLabel()->isVisibleTo(sheet.get()));

    sheet->ratingSwitch()->setChecked(true);
    EXPECT_FALSE(sheet->mixedRatingLabel()->isVisibleTo(sheet.get()));
    ASSERT_TRUE(sheet->applyButton()->isEnabled());
    QTest::mouseClick(sheet->applyButton(), Qt::LeftButton);
    ASSERT_TRUE(test::waitUntil([&] { return !coordinator.batch(); }));
    for (const Track& track : library.tracks)
        EXPECT_EQ(track.rating, 2);
    EXPECT_FALSE(sheet->isVisible());
}

TEST_F(SharedMetadataEditorTest, ANumberOutOfRangeIsExplainedAndKeepsApplyOff)
{
    open();
    struct Case {
        Field field;
        const char* text;
        const char* message;
    };
    const Case cases[] = {
        {Field::Year, "10000", "Year must be between 0 and 9999, or left blank to clear it."},
        {Field::Year, "19x9", "Year must be between 0 and 9999, or left blank to clear it."},
        {Field::DiscNumber, "0", "Disc number must be between 1 and 999, or left blank to clear it."},
        {Field::Bpm, "1000", "BPM must be between 1 and 999, or left blank to clear it."},
    };
    for (const Case& example : cases) {
        type(example.field, QString::fromUtf8(example.text));
        EXPECT_FALSE(sheet->applyButton()->isEnabled()) << example.text;
        EXPECT_TRUE(sheet->validationLabel()->isVisibleTo(sheet.get()));
        EXPECT_EQ(sheet->validationLabel()->text(), QString::fromUtf8(example.message));
        type(example.field, QString());
    }
    // Every field in trouble is named at once.
    type(Field::Year, QStringLiteral("abc"));
    type(Field::Bpm, QStringLiteral("12a"));
    EXPECT_EQ(sheet->validationLabel()->text(), QStringLiteral("Year must be between 0 and 9999, or left blank to clear it.\n"
                                                               "BPM must be between 1 and 999, or left blank to clear it."));
    type(Field::Year, QString());
    type(Field::Bpm, QString());
    // Blank clears the field on every song, which is a change.
    EXPECT_FALSE(sheet->validationLabel()->isVisibleTo(sheet.get()));
    EXPECT_TRUE(sheet->applyButton()->isEnabled());
    QTest::keyClick(sheet->field(Field::Year), Qt::Key_Return, Qt::ControlModifier);
    ASSERT_TRUE(test::waitUntil([&] { return !coordinator.batch(); }));
    for (const Track& track : library.tracks) {
        EXPECT_EQ(track.year, std::nullopt);
        EXPECT_EQ(track.discNumber, std::nullopt);
    }
}

TEST_F(SharedMetadataEditorTest, ApplyWritesOnlySwitchedOnFieldsAndReadsApplyingMeanwhile)
{
    open();
    type(Field::Artist, QStringLiteral("  Band  "));
    type(Field::Album, QStringLiteral("Not applied"));
    sheet->fieldSwitch(Field::Album)->setChecked(false);
    sheet->apply();
    // The coordinator's save has started: the button says so and is off.
    EXPECT_TRUE(coordinator.isSaving() || !coordinator.batch());
    if (coordinator.isSaving()) {
        EXPECT_EQ(sheet->applyButton()->text(), QStringLiteral("Applying…"));
        EXPECT_FALSE(sheet->applyButton()->isEnabled());
    }
    ASSERT_TRUE(test::waitUntil([&] { return !coordinator.batch(); }));
    for (std::size_t i = 0; i < library.tracks.size(); ++i) {
        EXPECT_EQ(library.tracks[i].artist, QStringLiteral("Band"));
        EXPECT_EQ(library.tracks[i].album, tracksBefore[i].album);
        EXPECT_EQ(library.tracks[i].title, tracksBefore[i].title);
    }
    EXPECT_EQ(artwork.covers, coversBefore);
}

TEST_F(SharedMetadataEditorTest, AFailedSaveRollsSongsAndCoversBackAndKeepsTheSheetOpen)
{
    open();
    type(Field::Artist, QStringLiteral("Band"));
    chooseArtwork(test::writePicture(scratch(QStringLiteral("new.png")), Qt::blue));
    const QUuid failing = library.tracks[2].id;
    artwork.failStore = [failing](const Track& track, const QByteArray& data) {
        if (track.id == failing && data == test::pngBytes(Qt::blue))
            throw Error(QStringLiteral("disk full"));
    };

    QTest::mouseClick(sheet->applyButton(), Qt::LeftButton);
    ASSERT_TRUE(test::waitUntil([&] { return coordinator.errorMessage().has_value() && !coordinator.isSaving(); }));

    const QString message = QStringLiteral("The shared artwork could not be applied. Existing artwork was restored. disk full");
    EXPECT_EQ(*coordinator.errorMessage(), message);
    EXPECT_TRUE(sheet->errorLabel()->isVisibleTo(sheet.get()));
    EXPECT_EQ(sheet->errorLabel()->text(), message);
    EXPECT_EQ(library.tracks, tracksBefore);
    EXPECT_EQ(artwork.covers, coversBefore);
    // Still open, with what the user typed and chose, ready to try again.
    EXPECT_TRUE(sheet->isVisible());
    EXPECT_EQ(sheet->field(Field::Artist)->text(), QStringLiteral("Band"));
    EXPECT_EQ(sheet->draft().replacementArtworkData, test::pngBytes(Qt::blue));
    EXPECT_TRUE(sheet->applyButton()->isEnabled());
    EXPECT_EQ(sheet->applyButton()->text(), QStringLiteral("Apply to 3 Songs"));
}

TEST_F(SharedMetadataEditorTest, ChoosingThenKeepingExistingArtwork)
{
    open();
    EXPECT_EQ(sheet->artworkTextLabel()->text(), QStringLiteral("Choose an image only if you want to replace the artwork on all 3 selected songs."));
    EXPECT_EQ(sheet->chooseArtworkButton()->text(), QStringLiteral("Choose Artwork…"));
    EXPECT_EQ(sheet->chooseArtworkButton()->objectName(), QStringLiteral("sharedMetadata.chooseArtwork"));
    EXPECT_NE(sheet->findChild<QWidget*>(QStringLiteral("sharedMetadata.artwork")), nullptr);
    EXPECT_EQ(sheet->artworkPreview()->fallbackSymbol(), QStringLiteral("photo.on.rectangle.angled"));
    EXPECT_FALSE(sheet->keepExistingButton()->isVisibleTo(sheet.get()));

    chooseArtwork(test::writePicture(scratch(QStringLiteral("cover.png")), Qt::red));
    EXPECT_EQ(sheet->draft().replacementArtworkData, test::pngBytes(Qt::red));
    EXPECT_EQ(sheet->artworkTextLabel()->text(), QStringLiteral("This image will replace the artwork on all 3 selected songs."));
    EXPECT_EQ(sheet->chooseArtworkButton()->text(), QStringLiteral("Replace Artwork…"));
    ASSERT_TRUE(sheet->keepExistingButton()->isVisibleTo(sheet.get()));
    EXPECT_EQ(sheet->keepExistingButton()->toolTip(), QStringLiteral("Cancel the pending artwork replacement"));
    EXPECT_TRUE(test::waitUntil([&] { return sheet->artworkPreview()->hasImage(); }));
    // An image alone is a change worth applying.
    EXPECT_TRUE(sheet->applyButton()->isEnabled());

    QTest::mouseClick(sheet->keepExistingButton(), Qt::LeftButton);
    EXPECT_FALSE(sheet->draft().replacementArtworkData);
    EXPECT_FALSE(sheet->keepExistingButton()->isVisibleTo(sheet.get()));
    EXPECT_FALSE(sheet->applyButton()->isEnabled());
    EXPECT_TRUE(test::waitUntil([&] { return !sheet->artworkPreview()->hasImage(); }));
}

TEST_F(SharedMetadataEditorTest, ARefusedImageBlocksApplyUntilKeepExistingOrABetterPick)
{
    open();
    type(Field::Genre, QStringLiteral("Folk"));
    chooseArtwork(test::writeOversizedFile(scratch(QStringLiteral("huge.jpg"))));
    EXPECT_EQ(sheet->artworkError(), QStringLiteral("Artwork must be smaller than 25 MB."));
    EXPECT_EQ(sheet->artworkErrorLabel()->text(), QStringLiteral("Artwork must be smaller than 25 MB."));
    EXPECT_FALSE(sheet->applyButton()->isEnabled());
    EXPECT_FALSE(sheet->draft().replacementArtworkData);

    chooseArtwork(test::writeNotAPicture(scratch(QStringLiteral("notes.png"))));
    EXPECT_EQ(sheet->artworkError(), QStringLiteral("The selected file is not a supported image."));
    EXPECT_EQ(sheet->field(Field::Genre)->text(), QStringLiteral("Folk"));

    sheet->keepExisting();
    EXPECT_FALSE(sheet->artworkError());
    EXPECT_FALSE(sheet->artworkErrorLabel()->isVisibleTo(sheet.get()));
    EXPECT_TRUE(sheet->applyButton()->isEnabled());
}

TEST_F(SharedMetadataEditorTest, CancelAndCtrlEscapeEndTheBatchWithoutWriting)
{
    open();
    type(Field::Artist, QStringLiteral("Band"));
    QTest::mouseClick(sheet->cancelButton(), Qt::LeftButton);
    EXPECT_FALSE(coordinator.batch());
    EXPECT_FALSE(sheet->isVisible());

    open();
    type(Field::Artist, QStringLiteral("Band"));
    QTest::keyClick(sheet->field(Field::Artist), Qt::Key_Escape, Qt::ControlModifier);
    EXPECT_FALSE(coordinator.batch());
    EXPECT_FALSE(sheet->isVisible());
    EXPECT_EQ(library.updateCalls, 0);
    EXPECT_EQ(library.tracks, tracksBefore);
}

} // namespace
} // namespace varno
