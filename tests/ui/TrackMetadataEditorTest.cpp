#include "EditorTestSupport.h"
#include "ViewTestSupport.h"

#include "FakeEngines.h"
#include "edits/TrackEditor.h"
#include "ui/editors/StarRatingControl.h"
#include "ui/editors/TrackMetadataEditorSheet.h"
#include "ui/player/ArtworkTile.h"

#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

namespace varno {
namespace {

using Field = TrackMetadataEditorSheet::Field;

class TrackMetadataEditorTest : public test::DataFolderTest {
protected:
    void SetUp() override
    {
        DataFolderTest::SetUp();
        song = test::makeTrack(QStringLiteral("Harbour Lights"));
        song.artist = QStringLiteral("The Quiet Hours");
        song.year = 1999;
        song.duration = 187.2;
        song.rating = 3;
        song.composer = QStringLiteral("J. Doe");
        song.discNumber = 2;
    }

    void TearDown() override
    {
        test::finishPoolWork();
        sheet.reset();
        DataFolderTest::TearDown();
    }

    // Opens the sheet and waits for it to look the song's cover up.
    TrackMetadataEditorSheet& open()
    {
        sheet = std::make_unique<TrackMetadataEditorSheet>(song, artwork, editor, dialogs);
        sheet->show();
        sheet->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(sheet.get()));
        EXPECT_TRUE(test::waitUntil([&] { return sheet->isCoverLoaded(); }));
        return *sheet;
    }

    void type(Field field, const QString& text)
    {
        QLineEdit* edit = sheet->field(field);
        edit->selectAll();
        QTest::keyClicks(edit, text);
        if (text.isEmpty())
            QTest::keyClick(edit, Qt::Key_Delete);
    }

    // What Save hands to the owner; none when nothing was handed.
    std::optional<Track> clickSave()
    {
        QSignalSpy saved(sheet.get(), &TrackMetadataEditorSheet::saveRequested);
        QTest::mouseClick(sheet->saveButton(), Qt::LeftButton);
        if (saved.isEmpty())
            return std::nullopt;
        return saved.takeFirst().at(0).value<Track>();
    }

    // Picks `file` in the artwork chooser and waits for it to be read.
    void chooseArtwork(const QString& file)
    {
        dialogs.imageAnswers.push_back(FileURL::fromLocalFile(file));
        QTest::mouseClick(sheet->chooseArtworkButton(), Qt::LeftButton);
        ASSERT_TRUE(test::waitUntil([&] { return !sheet->isLoadingArtwork(); }));
    }

    Track song;
    test::FakeArtworkCache artwork;
    test::FakeLibrary library;
    TrackEditor editor {library, artwork};
    test::FakeDialogs dialogs;
    std::unique_ptr<TrackMetadataEditorSheet> sheet;
};

TEST_F(TrackMetadataEditorTest, OpensWithTheSongsTextsAndTheSheetsLabels)
{
    open();
    EXPECT_EQ(sheet->windowTitle(), QStringLiteral("Edit Metadata"));
    EXPECT_EQ(sheet->field(Field::Title)->text(), QStringLiteral("Harbour Lights"));
    EXPECT_EQ(sheet->field(Field::Artist)->text(), QStringLiteral("The Quiet Hours"));
    EXPECT_EQ(sheet->field(Field::Album)->text(), QString());
    EXPECT_EQ(sheet->field(Field::Year)->text(), QStringLiteral("1999"));
    EXPECT_EQ(sheet->field(Field::TrackNumber)->text(), QString());
    EXPECT_EQ(sheet->field(Field::Duration)->text(), QStringLiteral("3:07"));
    EXPECT_EQ(sheet->stars()->rating(), 3);
    EXPECT_TRUE(sheet->stars()->isFilled(3));
    EXPECT_FALSE(sheet->stars()->isFilled(4));

    QStringList captions;
    for (const QLabel* label : sheet->findChildren<QLabel*>())
        captions << label->text();
    for (const char* text : {"TITLE", "ARTIST", "ALBUM", "ALBUM ARTIST", "GENRE", "YEAR", "TRACK #", "DURATION", "BPM", "RATING", "ARTWORK", "LYRICS"})
        EXPECT_TRUE(captions.contains(QString::fromUtf8(text))) << text;
    EXPECT_EQ(sheet->chooseArtworkButton()->text(), QStringLiteral("Choose Artwork..."));
    EXPECT_EQ(sheet->cancelButton()->text(), QStringLiteral("Cancel"));
    EXPECT_EQ(sheet->saveButton()->text(), QStringLiteral("Save"));
    // No cover: the placeholder, and nothing to remove.
    EXPECT_FALSE(sheet->artworkPreview()->hasImage());
    EXPECT_EQ(sheet->artworkPreview()->fallbackSymbol(), QStringLiteral("music.note.list"));
    EXPECT_FALSE(sheet->removeArtworkButton()->isVisibleTo(sheet.get()));
}

TEST_F(TrackMetadataEditorTest, SaveIsOnOnlyWhileEveryTextParses)
{
    struct Case {
        Field field;
        const char* text;
        bool enabled;
    };
    const Case cases[] = {
        {Field::Title, "   ", false},        {Field::Title, " New ", true},       {Field::Duration, "1:2:3:4", false},
        {Field::Duration, "3:ab", false},     {Field::Duration, "", true},         {Field::Duration, " 187 ", true},
        {Field::Duration, "-5", false},       {Field::Duration, "-1:00", false},   {Field::Year, "19x9", false},
        {Field::Duration, "99:99", false},    {Field::Duration, "25:00:00", false}, {Field::Duration, "99:59", true},
        {Field::Year, "", true},              {Field::Year, "99999999999999999999", false}, {Field::TrackNumber, "3.5", false},
        {Field::Bpm, "128", true},            {Field::Bpm, "fast", false},
    };
    open();
    for (const Case& example : cases) {
        const QString before = sheet->field(example.field)->text();
        type(example.field, QString::fromUtf8(example.text));
        EXPECT_EQ(sheet->saveButton()->isEnabled(), example.enabled) << TrackMetadataEditorSheet::label(example.field).toStdString() << ": "
                                                                      << example.text;
        EXPECT_EQ(sheet->fieldErrorLabel(example.field)->isVisibleTo(sheet.get()), !example.enabled) << example.text;
        type(example.field, before);
    }
    // A disabled Save does nothing, by click or by key.
    type(Field::Year, QStringLiteral("soon"));
    QSignalSpy saved(sheet.get(), &TrackMetadataEditorSheet::saveRequested);
    sheet->save();
    EXPECT_TRUE(saved.isEmpty());
    EXPECT_EQ(sheet->fieldErrorLabel(Field::Year)->text(), QStringLiteral("Must be a whole number, or blank."));
}

TEST_F(TrackMetadataEditorTest, EveryProblemShowsUnderItsOwnFieldAtOnce)
{
    open();
    type(Field::Year, QStringLiteral("abc"));
    type(Field::Duration, QStringLiteral("99:99"));
    type(Field::Bpm, QStringLiteral("12a"));
    EXPECT_EQ(sheet->fieldErrorLabel(Field::Year)->text(), QStringLiteral("Must be a whole number, or blank."));
    EXPECT_EQ(sheet->fieldErrorLabel(Field::Duration)->text(), QStringLiteral("Minutes and seconds after a colon go up to 59."));
    EXPECT_EQ(sheet->fieldErrorLabel(Field::Bpm)->text(), QStringLiteral("Must be a whole number, or blank."));
    for (const Field shown : {Field::Year, Field::Duration, Field::Bpm}) {
        QLabel* error = sheet->fieldErrorLabel(shown);
        EXPECT_TRUE(error->isVisible());
        // Beside the field: just under it, in the same column.
        const QRect field = sheet->field(shown)->geometry();
        EXPECT_EQ(error->geometry().left(), field.left());
        EXPECT_GE(error->geometry().top(), field.bottom());
        EXPECT_LT(error->geometry().top(), field.bottom() + 30);
        EXPECT_EQ(sheet->field(shown)->accessibleDescription(), error->text());
    }
    EXPECT_FALSE(sheet->fieldErrorLabel(Field::Title)->isVisible());
    EXPECT_FALSE(sheet->saveButton()->isEnabled());

    type(Field::Duration, QStringLiteral("25:00:00"));
    EXPECT_EQ(sheet->fieldErrorLabel(Field::Duration)->text(), QStringLiteral("A song can last at most 24 hours."));
    type(Field::Year, QStringLiteral("2001"));
    EXPECT_FALSE(sheet->fieldErrorLabel(Field::Year)->isVisible());
}

TEST_F(TrackMetadataEditorTest, ADisabledSaveLooksDisabled)
{
    const test::ApplicationLook look;
    open();
    const auto drawn = [&] { return sheet->saveButton()->grab().toImage(); };
    const QImage enabled = drawn();
    type(Field::Title, QStringLiteral(" "));
    ASSERT_FALSE(sheet->saveButton()->isEnabled());
    const QImage disabled = drawn();
    // The accent fills the button while it can be pressed, and not after.
    // The style shades the fill, so the accent is told by its hue.
    const QColor accent = sheet->saveButton()->palette().color(QPalette::Active, QPalette::Highlight);
    const auto accentShare = [&accent](const QImage& image) {
        int near = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const QColor pixel = image.pixelColor(x, y);
                near += pixel.hsvSaturation() > 80 && std::abs(pixel.hsvHue() - accent.hsvHue()) < 15 ? 1 : 0;
            }
        }
        return double(near) / (image.width() * image.height());
    };
    EXPECT_GT(accentShare(enabled), 0.5);
    EXPECT_LT(accentShare(disabled), 0.05);
}

TEST_F(TrackMetadataEditorTest, SaveHandsOverTheTrimmedRecordAndKeepsWhatTheSheetDoesNotShow)
{
    open();
    type(Field::Title, QStringLiteral("  Harbour Lights (Live) "));
    type(Field::Artist, QStringLiteral("   "));
    type(Field::Genre, QStringLiteral(" Folk "));
    type(Field::Year, QString());
    type(Field::TrackNumber, QStringLiteral(" 4 "));
    type(Field::Duration, QStringLiteral("1:02:03"));
    sheet->lyricsField()->setPlainText(QStringLiteral("\n  la la  \n"));

    const std::optional<Track> saved = clickSave();
    ASSERT_TRUE(saved);
    Track expected = song;
    expected.title = QStringLiteral("Harbour Lights (Live)");
    expected.artist = std::nullopt;
    expected.genre = QStringLiteral("Folk");
    expected.year = std::nullopt;
    expected.trackNumber = 4;
    expected.duration = 3723;
    expected.lyrics = QStringLiteral("la la");
    EXPECT_EQ(*saved, expected);
    // The sheet stays until its owner says the record is stored.
    EXPECT_TRUE(sheet->isVisible());
}

TEST_F(TrackMetadataEditorTest, CtrlReturnSavesAndAnEmptyDurationSavesZero)
{
    open();
    type(Field::Duration, QString());
    QSignalSpy saved(sheet.get(), &TrackMetadataEditorSheet::saveRequested);
    QTest::keyClick(sheet->field(Field::Title), Qt::Key_Return, Qt::ControlModifier);
    ASSERT_EQ(saved.size(), 1);
    EXPECT_EQ(saved.at(0).at(0).value<Track>().duration, 0.0);
}

TEST_F(TrackMetadataEditorTest, ClickingTheRatedStarAgainClearsTheRating)
{
    song.rating = 0;
    open();
    QTest::mouseClick(sheet->stars()->star(3), Qt::LeftButton);
    EXPECT_EQ(sheet->stars()->rating(), 3);
    EXPECT_TRUE(sheet->stars()->isFilled(3));
    QTest::mouseClick(sheet->stars()->star(3), Qt::LeftButton);
    EXPECT_EQ(sheet->stars()->rating(), 0);
    EXPECT_EQ(clickSave()->rating, 0);

    // A rating beyond five in a hand-edited library is saved as five.
    song.rating = 9;
    open();
    EXPECT_EQ(clickSave()->rating, 5);
}

TEST_F(TrackMetadataEditorTest, TheOwnersFailureIsShownInRedAndTheEditsStay)
{
    open();
    type(Field::Title, QStringLiteral("Typed"));
    sheet->setErrorMessage(QStringLiteral("Track duration cannot be negative."));
    EXPECT_TRUE(sheet->errorLabel()->isVisibleTo(sheet.get()));
    EXPECT_EQ(sheet->errorLabel()->text(), QStringLiteral("Track duration cannot be negative."));
    EXPECT_EQ(sheet->field(Field::Title)->text(), QStringLiteral("Typed"));
    EXPECT_TRUE(sheet->isVisible());

    // While the owner stores the record Save is off.
    sheet->setSaving(true);
    EXPECT_FALSE(sheet->saveButton()->isEnabled());
    sheet->setSaving(false);
    EXPECT_TRUE(sheet->saveButton()->isEnabled());
}

TEST_F(TrackMetadataEditorTest, CancelClosesWithoutSaving)
{
    open();
    type(Field::Title, QStringLiteral("Never stored"));
    QSignalSpy cancelled(sheet.get(), &TrackMetadataEditorSheet::cancelRequested);
    QSignalSpy saved(sheet.get(), &TrackMetadataEditorSheet::saveRequested);
    QTest::mouseClick(sheet->cancelButton(), Qt::LeftButton);
    EXPECT_EQ(cancelled.size(), 1);
    EXPECT_TRUE(saved.isEmpty());
    EXPECT_FALSE(sheet->isVisible());
    EXPECT_EQ(artwork.stores + artwork.removals, 0);
}

// --- Artwork ---------------------------------------------------------------

TEST_F(TrackMetadataEditorTest, TheStoredCoverIsShownAndRemovingItRemovesItOnceSaved)
{
    artwork.covers.insert(song.id, test::pngBytes(Qt::red));
    open();
    EXPECT_EQ(sheet->artworkData(), artwork.covers.value(song.id));
    EXPECT_EQ(sheet->initialArtworkData(), artwork.covers.value(song.id));
    EXPECT_TRUE(test::waitUntil([&] { return sheet->artworkPreview()->hasImage(); }));
    ASSERT_TRUE(sheet->removeArtworkButton()->isVisibleTo(sheet.get()));
    EXPECT_EQ(sheet->removeArtworkButton()->text(), QStringLiteral("Remove Artwork"));

    QTest::mouseClick(sheet->removeArtworkButton(), Qt::LeftButton);
    EXPECT_FALSE(sheet->artworkData());
    EXPECT_FALSE(sheet->removeArtworkButton()->isVisibleTo(sheet.get()));
    EXPECT_TRUE(test::waitUntil([&] { return !sheet->artworkPreview()->hasImage(); }));
    // Nothing is written until the record is stored.
    ASSERT_TRUE(clickSave());
    EXPECT_EQ(artwork.removals, 0);
    sheet->finishSaving();
    EXPECT_TRUE(test::waitUntil([&] { return artwork.removals == 1; }));
    EXPECT_FALSE(artwork.covers.contains(song.id));
    EXPECT_FALSE(sheet->isVisible());
}

TEST_F(TrackMetadataEditorTest, AChosenPictureBecomesTheCoverOnceSaved)
{
    open();
    chooseArtwork(test::writePicture(scratch(QStringLiteral("cover.png")), Qt::blue));
    EXPECT_EQ(dialogs.shown.last().kind, QStringLiteral("image"));
    EXPECT_EQ(sheet->artworkData(), test::pngBytes(Qt::blue));
    EXPECT_TRUE(sheet->removeArtworkButton()->isVisibleTo(sheet.get()));
    EXPECT_EQ(artwork.stores, 0);

    ASSERT_TRUE(clickSave());
    sheet->finishSaving();
    test::finishPoolWork();
    EXPECT_EQ(artwork.stores, 1);
    EXPECT_EQ(artwork.covers.value(song.id), test::pngBytes(Qt::blue));
}

TEST_F(TrackMetadataEditorTest, ChoosingTheSameBytesAgainWritesNothing)
{
    artwork.covers.insert(song.id, test::pngBytes(Qt::green));
    open();
    chooseArtwork(test::writePicture(scratch(QStringLiteral("same.png")), Qt::green));
    ASSERT_TRUE(clickSave());
    sheet->finishSaving();
    // The wait that sees a different cover stored in the test above.
    test::finishPoolWork();
    EXPECT_EQ(artwork.stores, 0);
    EXPECT_EQ(artwork.removals, 0);
}

TEST_F(TrackMetadataEditorTest, ARefusedFileIsExplainedAndTheCoverStaysAsItWas)
{
    artwork.covers.insert(song.id, test::pngBytes(Qt::red));
    open();
    type(Field::Title, QStringLiteral("Typed before"));
    const struct {
        QString file;
        QString message;
    } refused[] = {
        {test::writeNotAPicture(scratch(QStringLiteral("notes.png"))), QStringLiteral("The selected file is not a supported image.")},
        {test::writeOversizedFile(scratch(QStringLiteral("huge.png"))), QStringLiteral("Artwork must be smaller than 25 MB.")},
    };
    for (const auto& pick : refused) {
        chooseArtwork(pick.file);
        EXPECT_EQ(sheet->artworkError(), pick.message);
        EXPECT_TRUE(sheet->artworkErrorLabel()->isVisibleTo(sheet.get()));
        EXPECT_EQ(sheet->artworkErrorLabel()->text(), pick.message);
        EXPECT_EQ(sheet->artworkData(), test::pngBytes(Qt::red));
        EXPECT_EQ(sheet->field(Field::Title)->text(), QStringLiteral("Typed before"));
    }
    // A cancelled picker changes nothing; a good picture clears the message.
    QTest::mouseClick(sheet->chooseArtworkButton(), Qt::LeftButton);
    EXPECT_TRUE(sheet->artworkError());
    chooseArtwork(test::writePicture(scratch(QStringLiteral("good.png")), Qt::yellow));
    EXPECT_FALSE(sheet->artworkError());
    EXPECT_FALSE(sheet->artworkErrorLabel()->isVisibleTo(sheet.get()));
}

} // namespace
} // namespace varno

namespace varno {
namespace {

// Brightest text pixel of the row of a menu item, as drawn.
int brightestIn(const QImage& image, const QRect& row)
{
    int brightest = 0;
    for (int y = row.top(); y <= row.bottom(); ++y) {
        for (int x = row.left() + 8; x < row.right() - 8; ++x)
            brightest = std::max(brightest, qGray(image.pixel(x, y)));
    }
    return brightest;
}

TEST(DisabledLookTest, ADisabledMenuItemIsDrawnClearlyDimmerThanAnEnabledOne)
{
    const test::ApplicationLook look;
    QMenu menu;
    menu.addAction(QStringLiteral("Select All Songs"));
    menu.addAction(QStringLiteral("Deselect All Songs"))->setEnabled(false);
    menu.popup(QPoint(100, 100));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&menu));
    const QImage drawn = menu.grab().toImage();
    const int enabled = brightestIn(drawn, menu.actionGeometry(menu.actions()[0]));
    const int disabled = brightestIn(drawn, menu.actionGeometry(menu.actions()[1]));
    EXPECT_GT(enabled - disabled, 80) << "enabled " << enabled << ", disabled " << disabled;
    menu.close();
}

} // namespace
} // namespace varno
