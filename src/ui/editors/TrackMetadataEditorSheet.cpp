#include "TrackMetadataEditorSheet.h"

#include "edits/TrackEditor.h"
#include "media/ArtworkCache.h"
#include "platform/Error.h"
#include "ui/DesktopDialogs.h"
#include "ui/Icons.h"
#include "ui/editors/EditorChrome.h"
#include "ui/editors/StarRatingControl.h"
#include "ui/editors/TrackEditorText.h"
#include "ui/player/ArtworkTile.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace varno {

namespace {

Q_LOGGING_CATEGORY(lcEditors, "varno.editors")

constexpr int kPreviewSide = 148;

// Fire and forget: the cover is written after the sheet has closed, and a
// failed write leaves the old cover, which is all the user would see anyway.
QCoro::Task<> storeCover(TrackEditor& editor, Track track, std::optional<QByteArray> data)
{
    try {
        if (data) {
            auto storing = editor.setArtwork(track, std::move(*data));
            co_await std::move(storing);
        } else {
            auto removing = editor.removeArtwork(track);
            co_await std::move(removing);
        }
    } catch (const std::exception& error) {
        qCWarning(lcEditors).noquote() << "Storing the edited cover of" << track.title << "failed:" << describe(error);
    }
}

std::optional<QString> trimmedOrAbsent(const QString& text)
{
    const QString trimmed = text.trimmed();
    return trimmed.isEmpty() ? std::nullopt : std::optional<QString>(trimmed);
}

QString textOf(const std::optional<QString>& value)
{
    return value.value_or(QString());
}

QString numberText(const std::optional<std::int64_t>& value)
{
    return value ? QString::number(*value) : QString();
}

} // namespace

const QString TrackMetadataEditorSheet::kTitle = QStringLiteral("Edit Metadata");
const QString TrackMetadataEditorSheet::kRatingSection = QStringLiteral("RATING");
const QString TrackMetadataEditorSheet::kArtworkSection = QStringLiteral("ARTWORK");
const QString TrackMetadataEditorSheet::kLyricsSection = QStringLiteral("LYRICS");
const QString TrackMetadataEditorSheet::kChooseArtwork = QStringLiteral("Choose Artwork...");
const QString TrackMetadataEditorSheet::kRemoveArtwork = QStringLiteral("Remove Artwork");
const QString TrackMetadataEditorSheet::kCancel = QStringLiteral("Cancel");
const QString TrackMetadataEditorSheet::kSave = QStringLiteral("Save");

QString TrackMetadataEditorSheet::label(Field field)
{
    switch (field) {
    case Field::Title:
        return QStringLiteral("Title");
    case Field::Artist:
        return QStringLiteral("Artist");
    case Field::Album:
        return QStringLiteral("Album");
    case Field::AlbumArtist:
        return QStringLiteral("Album Artist");
    case Field::Genre:
        return QStringLiteral("Genre");
    case Field::Year:
        return QStringLiteral("Year");
    case Field::TrackNumber:
        return QStringLiteral("Track #");
    case Field::Duration:
        return QStringLiteral("Duration");
    case Field::Bpm:
        return QStringLiteral("BPM");
    }
    return {};
}

TrackMetadataEditorSheet::TrackMetadataEditorSheet(Track track, ArtworkCache& artworkCache, TrackEditor& editor, DesktopDialogs& dialogs,
                                                   QWidget* parent)
    : QDialog(parent)
    , m_track(std::move(track))
    , m_artworkCache(artworkCache)
    , m_editor(editor)
    , m_dialogs(dialogs)
{
    setObjectName(QStringLiteral("trackMetadataEditor"));
    setWindowTitle(kTitle);
    setWindowModality(Qt::WindowModal);
    resize(640, 640);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 16, 20, 16);
    layout->setSpacing(12);

    auto* titleRow = new QHBoxLayout;
    titleRow->addWidget(makeSheetTitle(kTitle, this), 1);
    QToolButton* close = makeCloseButton(kCancel, this);
    titleRow->addWidget(close);
    layout->addLayout(titleRow);

    auto* body = new QHBoxLayout;
    body->setSpacing(20);
    body->addWidget(makeFields(), 1);
    body->addWidget(makeArtworkSection(), 0, Qt::AlignTop);
    layout->addLayout(body);

    layout->addWidget(makeCaption(kRatingSection, this));
    m_stars = new StarRatingControl(this);
    layout->addWidget(m_stars);

    layout->addWidget(makeCaption(kLyricsSection, this));
    m_lyrics = new QPlainTextEdit(this);
    m_lyrics->setObjectName(QStringLiteral("lyrics"));
    m_lyrics->setTabChangesFocus(true);
    layout->addWidget(m_lyrics, 1);

    m_errorLabel = makeErrorLabel(QStringLiteral("saveError"), this);
    layout->addWidget(m_errorLabel);

    const SheetButtons buttons = addSheetButtons(this, layout, kSave, QStringLiteral("save"), false, [this] { save(); });
    m_cancel = buttons.cancel;
    m_save = buttons.confirm;

    connect(close, &QToolButton::clicked, this, &TrackMetadataEditorSheet::reject);
    for (QLineEdit* edit : m_fields)
        connect(edit, &QLineEdit::textChanged, this, &TrackMetadataEditorSheet::updateState);

    fillFromTrack();
    updateState();
    showArtwork();
    m_fields[static_cast<int>(Field::Title)]->setFocus(Qt::OtherFocusReason);
    auto loading = loadCover();
}

TrackMetadataEditorSheet::~TrackMetadataEditorSheet() = default;

QWidget* TrackMetadataEditorSheet::makeFields()
{
    auto* fields = new QWidget(this);
    auto* grid = new QGridLayout(fields);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setHorizontalSpacing(12);
    grid->setVerticalSpacing(4);
    // The title across the width, then the fields in pairs.
    struct Placement {
        Field field;
        int row;
        int column;
        int span;
    };
    static constexpr Placement placements[] = {
        {Field::Title, 0, 0, 6},       {Field::Artist, 2, 0, 3}, {Field::Album, 2, 3, 3},    {Field::AlbumArtist, 4, 0, 3},
        {Field::Genre, 4, 3, 3},       {Field::Year, 6, 0, 3},   {Field::TrackNumber, 6, 3, 3}, {Field::Duration, 8, 0, 3},
        {Field::Bpm, 8, 3, 3},
    };
    static const char* const objectNames[] = {"title", "artist", "album", "albumArtist", "genre", "year", "trackNumber", "duration", "bpm"};
    for (const Placement& place : placements) {
        auto* edit = new QLineEdit(fields);
        edit->setObjectName(QString::fromLatin1(objectNames[static_cast<int>(place.field)]));
        edit->setAccessibleName(label(place.field));
        m_fields[static_cast<int>(place.field)] = edit;
        // Under each field, what is wrong with it, so every problem shows
        // at once and beside what causes it.
        QLabel* error = makeErrorLabel(QString::fromLatin1(objectNames[static_cast<int>(place.field)]) + QStringLiteral("Error"), fields);
        m_fieldErrors[static_cast<int>(place.field)] = error;
        grid->addWidget(makeCaption(label(place.field), fields), place.row * 3 / 2, place.column, 1, place.span);
        grid->addWidget(edit, place.row * 3 / 2 + 1, place.column, 1, place.span);
        grid->addWidget(error, place.row * 3 / 2 + 2, place.column, 1, place.span, Qt::AlignTop);
    }
    for (int row : {3, 6, 9, 12})
        grid->setRowMinimumHeight(row, 22);
    return fields;
}

QWidget* TrackMetadataEditorSheet::makeArtworkSection()
{
    auto* section = new QWidget(this);
    auto* column = new QVBoxLayout(section);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(8);
    column->addWidget(makeCaption(kArtworkSection, section));
    m_preview = new ArtworkTile(kPreviewSide, QStringLiteral("music.note.list"), section);
    m_preview->setObjectName(QStringLiteral("artworkPreview"));
    column->addWidget(m_preview, 0, Qt::AlignHCenter);
    m_chooseArtwork = new QPushButton(symbolIcon(u"photo.badge.plus"), kChooseArtwork, section);
    m_chooseArtwork->setObjectName(QStringLiteral("chooseArtwork"));
    m_chooseArtwork->setAutoDefault(false);
    m_removeArtwork = new QPushButton(symbolIcon(u"trash"), kRemoveArtwork, section);
    m_removeArtwork->setObjectName(QStringLiteral("removeArtwork"));
    m_removeArtwork->setAutoDefault(false);
    m_artworkErrorLabel = makeErrorLabel(QStringLiteral("artworkError"), section);
    m_artworkErrorLabel->setMaximumWidth(kPreviewSide + 40);
    column->addWidget(m_chooseArtwork);
    column->addWidget(m_removeArtwork);
    column->addWidget(m_artworkErrorLabel);
    connect(m_chooseArtwork, &QPushButton::clicked, this, &TrackMetadataEditorSheet::chooseArtwork);
    connect(m_removeArtwork, &QPushButton::clicked, this, &TrackMetadataEditorSheet::removeArtwork);
    return section;
}

void TrackMetadataEditorSheet::fillFromTrack()
{
    field(Field::Title)->setText(m_track.title);
    field(Field::Artist)->setText(textOf(m_track.artist));
    field(Field::Album)->setText(textOf(m_track.album));
    field(Field::AlbumArtist)->setText(textOf(m_track.albumArtist));
    field(Field::Genre)->setText(textOf(m_track.genre));
    field(Field::Year)->setText(numberText(m_track.year));
    field(Field::TrackNumber)->setText(numberText(m_track.trackNumber));
    field(Field::Duration)->setText(formatDurationText(m_track.duration));
    field(Field::Bpm)->setText(numberText(m_track.bpm));
    m_stars->setRating(m_track.rating);
    m_lyrics->setPlainText(textOf(m_track.lyrics));
    for (QLineEdit* edit : m_fields)
        edit->setCursorPosition(0);
}

std::optional<QString> TrackMetadataEditorSheet::fieldProblem(Field which) const
{
    const QString text = field(which)->text();
    switch (which) {
    case Field::Title:
        if (text.trimmed().isEmpty())
            return QStringLiteral("Title cannot be empty.");
        break;
    case Field::Duration:
        // The duration as it was shown stands, even one the editor would not
        // take as typed (a recording longer than a day).
        if (text != formatDurationText(m_track.duration))
            return durationTextProblem(text);
        break;
    case Field::Year:
    case Field::TrackNumber:
    case Field::Bpm:
        if (!isBlankOrWholeNumber(text))
            return kWholeNumberProblem;
        break;
    default:
        break;
    }
    return std::nullopt;
}

bool TrackMetadataEditorSheet::canSave() const
{
    for (int i = 0; i < kFieldCount; ++i) {
        if (fieldProblem(static_cast<Field>(i)))
            return false;
    }
    return true;
}

std::optional<Track> TrackMetadataEditorSheet::editedTrack() const
{
    if (!canSave())
        return std::nullopt;
    const bool durationAsShown = field(Field::Duration)->text() == formatDurationText(m_track.duration);
    const std::optional<double> duration = durationAsShown ? std::optional(m_track.duration) : parseDurationText(field(Field::Duration)->text());
    if (!duration)
        return std::nullopt;
    // Everything the sheet does not show (the file, the disc, the composer,
    // the comments, the technical data, the date added) is kept.
    Track edited = m_track;
    edited.title = field(Field::Title)->text().trimmed();
    edited.artist = trimmedOrAbsent(field(Field::Artist)->text());
    edited.album = trimmedOrAbsent(field(Field::Album)->text());
    edited.albumArtist = trimmedOrAbsent(field(Field::AlbumArtist)->text());
    edited.genre = trimmedOrAbsent(field(Field::Genre)->text());
    edited.lyrics = trimmedOrAbsent(m_lyrics->toPlainText());
    edited.year = parseWholeNumber(field(Field::Year)->text());
    edited.trackNumber = parseWholeNumber(field(Field::TrackNumber)->text());
    edited.bpm = parseWholeNumber(field(Field::Bpm)->text());
    // A duration left as shown keeps the stored value, which the text
    // rounds to whole seconds.
    edited.duration = *duration;
    edited.rating = std::clamp<std::int64_t>(m_stars->rating(), 0, StarRatingControl::kStarCount);
    return edited;
}

void TrackMetadataEditorSheet::updateState()
{
    bool valid = true;
    for (int i = 0; i < kFieldCount; ++i) {
        const std::optional<QString> problem = fieldProblem(static_cast<Field>(i));
        showError(m_fieldErrors[i], problem);
        // A screen reader hears the problem with the field's name.
        m_fields[i]->setAccessibleDescription(problem.value_or(QString()));
        valid = valid && !problem;
    }
    m_save->setEnabled(valid && !m_saving && !m_loadingArtwork);
    m_chooseArtwork->setEnabled(!m_loadingArtwork);
    m_removeArtwork->setVisible(m_artworkData.has_value());
    showError(m_artworkErrorLabel, m_artworkError);
    showError(m_errorLabel, m_errorMessage);
}

void TrackMetadataEditorSheet::setErrorMessage(std::optional<QString> message)
{
    m_errorMessage = std::move(message);
    updateState();
}

void TrackMetadataEditorSheet::setSaving(bool saving)
{
    m_saving = saving;
    updateState();
}

void TrackMetadataEditorSheet::save()
{
    if (!canSave() || m_saving || m_loadingArtwork)
        return;
    const std::optional<Track> edited = editedTrack();
    if (!edited)
        return;
    emit saveRequested(*edited);
}

void TrackMetadataEditorSheet::finishSaving()
{
    // Only a cover that differs from the one the sheet found is written; the
    // same bytes chosen again change nothing.
    if (!m_artworkData && m_initialArtworkData) {
        auto removing = storeCover(m_editor, m_track, std::nullopt);
    } else if (m_artworkData && m_artworkData != m_initialArtworkData) {
        auto storing = storeCover(m_editor, editedTrack().value_or(m_track), *m_artworkData);
    }
    m_saving = false;
    accept();
}

void TrackMetadataEditorSheet::reject()
{
    emit cancelRequested();
    QDialog::reject();
}

// --- Artwork ---------------------------------------------------------------

QCoro::Task<> TrackMetadataEditorSheet::loadCover()
{
    const QPointer<TrackMetadataEditorSheet> self(this);
    // The cache finds a stored cover, or extracts the file's own and keeps
    // it, so a song shows the same cover here as everywhere else.
    auto retrieving = m_artworkCache.retrieveArtwork(m_track);
    std::optional<QByteArray> cover = co_await std::move(retrieving);
    if (!self)
        co_return;
    m_coverLoaded = true;
    m_initialArtworkData = cover;
    if (!m_artworkTouched) {
        m_artworkData = std::move(cover);
        showArtwork();
    }
    updateState();
    emit coverLoaded();
}

void TrackMetadataEditorSheet::chooseArtwork()
{
    if (m_loadingArtwork)
        return;
    const std::optional<FileURL> file = m_dialogs.chooseImageFile(this, QStringLiteral("Choose Artwork"));
    if (!file)
        return;
    auto loading = loadChosenArtwork(*file);
}

QCoro::Task<> TrackMetadataEditorSheet::loadChosenArtwork(FileURL file)
{
    const QPointer<TrackMetadataEditorSheet> self(this);
    m_loadingArtwork = true;
    m_artworkError.reset();
    updateState();
    auto reading = readPickedArtwork(std::move(file));
    PickedArtwork picked = co_await std::move(reading);
    if (!self)
        co_return;
    m_loadingArtwork = false;
    // A refused file leaves the cover as it was; the sheet says why.
    if (picked.data)
        setArtworkData(std::move(picked.data));
    m_artworkError = picked.failure;
    updateState();
    emit artworkChanged();
}

void TrackMetadataEditorSheet::removeArtwork()
{
    m_artworkError.reset();
    setArtworkData(std::nullopt);
    updateState();
    emit artworkChanged();
}

void TrackMetadataEditorSheet::setArtworkData(std::optional<QByteArray> data)
{
    m_artworkTouched = true;
    m_artworkData = std::move(data);
    showArtwork();
}

void TrackMetadataEditorSheet::showArtwork()
{
    showArtworkPreview(m_preview, m_artworkData, kPreviewSide * 2);
}

} // namespace varno
