#include "BulkMetadataEditorSheet.h"

#include "edits/TrackMetadataBatchCoordinator.h"
#include "ui/DesktopDialogs.h"
#include "ui/Icons.h"
#include "ui/editors/EditorChrome.h"
#include "ui/editors/StarRatingControl.h"
#include "ui/player/ArtworkTile.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QToolButton>
#include <QVBoxLayout>

namespace varno {

namespace {

constexpr int kPreviewSide = 96;

AppliedTextMetadataDraft& draftField(SharedMetadataDraft& draft, BulkMetadataEditorSheet::Field field)
{
    using Field = BulkMetadataEditorSheet::Field;
    switch (field) {
    case Field::Artist:
        return draft.artist;
    case Field::Album:
        return draft.album;
    case Field::AlbumArtist:
        return draft.albumArtist;
    case Field::Genre:
        return draft.genre;
    case Field::Year:
        return draft.year;
    case Field::DiscNumber:
        return draft.discNumber;
    case Field::Composer:
        return draft.composer;
    case Field::Bpm:
        return draft.bpm;
    }
    Q_UNREACHABLE();
}

} // namespace

const QString BulkMetadataEditorSheet::kTitle = QStringLiteral("Edit Shared Metadata");
const QString BulkMetadataEditorSheet::kSubtitleSuffix = QStringLiteral(" songs selected");
const QString BulkMetadataEditorSheet::kCloseLabel = QStringLiteral("Close shared metadata editor");
const QString BulkMetadataEditorSheet::kNote = QStringLiteral(
    "Enable a field to apply it to every selected song. Disabled fields, existing artwork, and song-specific metadata remain untouched.");
const QString BulkMetadataEditorSheet::kRatingSection = QStringLiteral("RATING");
const QString BulkMetadataEditorSheet::kMixed = QStringLiteral("Mixed");
const QString BulkMetadataEditorSheet::kArtworkSection = QStringLiteral("ALBUM ARTWORK");
const QString BulkMetadataEditorSheet::kCommentsSection = QStringLiteral("COMMENTS");
const QString BulkMetadataEditorSheet::kChooseArtwork = QStringLiteral("Choose Artwork…");
const QString BulkMetadataEditorSheet::kReplaceArtwork = QStringLiteral("Replace Artwork…");
const QString BulkMetadataEditorSheet::kKeepExisting = QStringLiteral("Keep Existing");
const QString BulkMetadataEditorSheet::kKeepExistingHelp = QStringLiteral("Cancel the pending artwork replacement");
const QString BulkMetadataEditorSheet::kCancel = QStringLiteral("Cancel");
const QString BulkMetadataEditorSheet::kApplying = QStringLiteral("Applying…");

QString BulkMetadataEditorSheet::label(Field field)
{
    switch (field) {
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
    case Field::DiscNumber:
        return QStringLiteral("Disc #");
    case Field::Composer:
        return QStringLiteral("Composer");
    case Field::Bpm:
        return QStringLiteral("BPM");
    }
    return {};
}

QString BulkMetadataEditorSheet::applyTitle(qsizetype count)
{
    return QStringLiteral("Apply to %1 Songs").arg(count);
}

QString BulkMetadataEditorSheet::artworkText(qsizetype count, bool replacementChosen)
{
    if (replacementChosen)
        return QStringLiteral("This image will replace the artwork on all %1 selected songs.").arg(count);
    return QStringLiteral("Choose an image only if you want to replace the artwork on all %1 selected songs.").arg(count);
}

BulkMetadataEditorSheet::BulkMetadataEditorSheet(TrackMetadataBatchCoordinator& coordinator, DesktopDialogs& dialogs, QWidget* parent)
    : QDialog(parent)
    , m_coordinator(&coordinator)
    , m_dialogs(dialogs)
{
    Q_ASSERT(coordinator.batch());
    if (const auto& batch = coordinator.batch()) {
        m_batchID = batch->id;
        m_count = static_cast<qsizetype>(batch->tracks.size());
        m_draft = SharedMetadataDraft(batch->tracks);
    }

    setObjectName(QStringLiteral("sharedMetadataEditor"));
    setWindowTitle(kTitle);
    setWindowModality(Qt::WindowModal);
    resize(600, 720);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 16, 20, 16);
    layout->setSpacing(10);

    auto* titleRow = new QHBoxLayout;
    auto* titles = new QVBoxLayout;
    titles->setSpacing(2);
    titles->addWidget(makeSheetTitle(kTitle, this));
    m_subtitle = new QLabel(QString::number(m_count) + kSubtitleSuffix, this);
    m_subtitle->setObjectName(QStringLiteral("subtitle"));
    m_subtitle->setForegroundRole(QPalette::PlaceholderText);
    titles->addWidget(m_subtitle);
    titleRow->addLayout(titles, 1);
    QToolButton* close = makeCloseButton(kCloseLabel, this);
    titleRow->addWidget(close, 0, Qt::AlignTop);
    layout->addLayout(titleRow);

    auto* note = new QLabel(kNote, this);
    note->setObjectName(QStringLiteral("note"));
    note->setWordWrap(true);
    note->setForegroundRole(QPalette::PlaceholderText);
    layout->addWidget(note);

    // The fields scroll on a short screen; the buttons stay in view.
    auto* scroll = new QScrollArea(this);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    auto* content = new QWidget(scroll);
    auto* contentLayout = new QVBoxLayout(content);
    contentLayout->setContentsMargins(0, 0, 8, 0);
    contentLayout->setSpacing(12);
    contentLayout->addWidget(makeFieldGrid());
    contentLayout->addWidget(makeRatingSection());
    contentLayout->addWidget(makeArtworkSection());

    m_commentsSwitch = new QCheckBox(kCommentsSection, content);
    m_commentsSwitch->setObjectName(QStringLiteral("commentsSwitch"));
    contentLayout->addWidget(m_commentsSwitch);
    m_comments = new QPlainTextEdit(content);
    m_comments->setObjectName(QStringLiteral("comments"));
    m_comments->setTabChangesFocus(true);
    m_comments->setFixedHeight(72);
    m_comments->setPlainText(m_draft.comments.value);
    if (m_draft.comments.hadMixedValues())
        m_comments->setPlaceholderText(kMixed);
    contentLayout->addWidget(m_comments);
    contentLayout->addStretch(1);
    scroll->setWidget(content);
    layout->addWidget(scroll, 1);

    m_validationLabel = makeErrorLabel(QStringLiteral("validationMessage"), this);
    m_errorLabel = makeErrorLabel(QStringLiteral("saveError"), this);
    layout->addWidget(m_validationLabel);
    layout->addWidget(m_errorLabel);

    const SheetButtons buttons = addSheetButtons(this, layout, applyTitle(m_count), QStringLiteral("sharedMetadata.apply"), true, [this] { apply(); });
    m_cancel = buttons.cancel;
    m_apply = buttons.confirm;

    connect(close, &QToolButton::clicked, this, &BulkMetadataEditorSheet::reject);

    connect(m_commentsSwitch, &QCheckBox::toggled, this, &BulkMetadataEditorSheet::readFields);
    connect(m_comments, &QPlainTextEdit::textChanged, this, [this] {
        if (!m_filling && m_comments->toPlainText() != m_draft.comments.value)
            m_commentsSwitch->setChecked(true);
        readFields();
    });
    connect(m_ratingSwitch, &QCheckBox::toggled, this, &BulkMetadataEditorSheet::readFields);
    connect(m_stars, &StarRatingControl::ratingChanged, this, &BulkMetadataEditorSheet::readFields);

    connect(&coordinator, &TrackMetadataBatchCoordinator::batchChanged, this, &BulkMetadataEditorSheet::followCoordinator);
    connect(&coordinator, &TrackMetadataBatchCoordinator::errorMessageChanged, this, &BulkMetadataEditorSheet::updateState);
    connect(&coordinator, &TrackMetadataBatchCoordinator::isSavingChanged, this, &BulkMetadataEditorSheet::updateState);
    // The song list that holds the coordinator may go (its screen was left).
    connect(&coordinator, &QObject::destroyed, this, [this] {
        m_closing = true;
        QDialog::reject();
    });

    updateState();
}

BulkMetadataEditorSheet::~BulkMetadataEditorSheet() = default;

QWidget* BulkMetadataEditorSheet::makeFieldGrid()
{
    auto* grid = new QWidget(this);
    auto* layout = new QGridLayout(grid);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setHorizontalSpacing(12);
    layout->setVerticalSpacing(4);
    static const char* const objectNames[] = {"artist", "album", "albumArtist", "genre", "year", "discNumber", "composer", "bpm"};
    for (int i = 0; i < kFieldCount; ++i) {
        const auto which = static_cast<Field>(i);
        const AppliedTextMetadataDraft& value = draftField(m_draft, which);
        auto* toggle = new QCheckBox(label(which), grid);
        toggle->setObjectName(QString::fromLatin1(objectNames[i]) + QStringLiteral("Switch"));
        auto* edit = new QLineEdit(value.value, grid);
        edit->setObjectName(QString::fromLatin1(objectNames[i]));
        edit->setAccessibleName(label(which));
        edit->setCursorPosition(0);
        if (value.hadMixedValues())
            edit->setPlaceholderText(kMixed);
        m_switches[i] = toggle;
        m_fields[i] = edit;
        const int row = (i / 2) * 2;
        const int column = i % 2;
        layout->addWidget(toggle, row, column);
        layout->addWidget(edit, row + 1, column);
        connect(toggle, &QCheckBox::toggled, this, &BulkMetadataEditorSheet::readFields);
        // Typing in a field means the user wants it applied.
        connect(edit, &QLineEdit::textEdited, this, [toggle] { toggle->setChecked(true); });
        connect(edit, &QLineEdit::textChanged, this, &BulkMetadataEditorSheet::readFields);
    }
    return grid;
}

QWidget* BulkMetadataEditorSheet::makeRatingSection()
{
    auto* section = new QWidget(this);
    auto* layout = new QHBoxLayout(section);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(12);
    m_ratingSwitch = new QCheckBox(kRatingSection, section);
    m_ratingSwitch->setObjectName(QStringLiteral("ratingSwitch"));
    m_stars = new StarRatingControl(section);
    m_stars->setRating(m_draft.rating);
    m_mixedRating = new QLabel(kMixed, section);
    m_mixedRating->setObjectName(QStringLiteral("mixedRating"));
    m_mixedRating->setForegroundRole(QPalette::PlaceholderText);
    layout->addWidget(m_ratingSwitch);
    layout->addWidget(m_stars);
    layout->addWidget(m_mixedRating);
    layout->addStretch(1);
    return section;
}

QWidget* BulkMetadataEditorSheet::makeArtworkSection()
{
    auto* section = new QWidget(this);
    section->setObjectName(QStringLiteral("sharedMetadata.artwork"));
    auto* layout = new QHBoxLayout(section);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(14);
    m_preview = new ArtworkTile(kPreviewSide, QStringLiteral("photo.on.rectangle.angled"), section);
    m_preview->setObjectName(QStringLiteral("artworkPreview"));
    layout->addWidget(m_preview, 0, Qt::AlignTop);

    auto* column = new QVBoxLayout;
    column->setSpacing(6);
    column->addWidget(makeCaption(kArtworkSection, section));
    m_artworkText = new QLabel(section);
    m_artworkText->setObjectName(QStringLiteral("artworkText"));
    m_artworkText->setWordWrap(true);
    column->addWidget(m_artworkText);
    auto* buttons = new QHBoxLayout;
    m_chooseArtwork = new QPushButton(symbolIcon(u"photo.badge.plus"), kChooseArtwork, section);
    m_chooseArtwork->setObjectName(QStringLiteral("sharedMetadata.chooseArtwork"));
    m_chooseArtwork->setAutoDefault(false);
    m_keepExisting = new QPushButton(kKeepExisting, section);
    m_keepExisting->setObjectName(QStringLiteral("keepExisting"));
    m_keepExisting->setAutoDefault(false);
    m_keepExisting->setToolTip(kKeepExistingHelp);
    buttons->addWidget(m_chooseArtwork);
    buttons->addWidget(m_keepExisting);
    buttons->addStretch(1);
    column->addLayout(buttons);
    m_artworkErrorLabel = makeErrorLabel(QStringLiteral("artworkError"), section);
    column->addWidget(m_artworkErrorLabel);
    layout->addLayout(column, 1);

    connect(m_chooseArtwork, &QPushButton::clicked, this, &BulkMetadataEditorSheet::chooseArtwork);
    connect(m_keepExisting, &QPushButton::clicked, this, &BulkMetadataEditorSheet::keepExisting);
    return section;
}

void BulkMetadataEditorSheet::readFields()
{
    if (m_filling)
        return;
    for (int i = 0; i < kFieldCount; ++i) {
        AppliedTextMetadataDraft& value = draftField(m_draft, static_cast<Field>(i));
        value.value = m_fields[i]->text();
        value.isApplied = m_switches[i]->isChecked();
    }
    m_draft.comments.value = m_comments->toPlainText();
    m_draft.comments.isApplied = m_commentsSwitch->isChecked();
    m_draft.rating = m_stars->rating();
    m_draft.isRatingApplied = m_ratingSwitch->isChecked();
    updateState();
}

bool BulkMetadataEditorSheet::canApply() const
{
    if (!m_coordinator || m_coordinator->isSaving() || m_loadingArtwork || m_artworkError || m_draft.validationMessage())
        return false;
    try {
        return !m_draft.makePatch().isEmpty();
    } catch (const std::exception&) {
        return false;
    }
}

void BulkMetadataEditorSheet::updateState()
{
    const bool saving = m_coordinator && m_coordinator->isSaving();
    const bool chosen = m_draft.replacementArtworkData.has_value();
    m_apply->setText(saving ? kApplying : applyTitle(m_count));
    m_apply->setEnabled(canApply());
    m_mixedRating->setVisible(m_draft.hadMixedRatings() && !m_draft.isRatingApplied);
    m_artworkText->setText(artworkText(m_count, chosen));
    m_chooseArtwork->setText(chosen ? kReplaceArtwork : kChooseArtwork);
    m_chooseArtwork->setEnabled(!m_loadingArtwork && !saving);
    m_keepExisting->setVisible(chosen);
    // Every field in trouble is named at once, one line each.
    const QStringList problems = m_draft.validationMessages();
    showError(m_validationLabel, problems.isEmpty() ? std::nullopt : std::optional(problems.join(QLatin1Char('\n'))));
    showError(m_artworkErrorLabel, m_artworkError);
    showError(m_errorLabel, m_coordinator ? m_coordinator->errorMessage() : std::nullopt);
}

void BulkMetadataEditorSheet::apply()
{
    if (!canApply())
        return;
    auto saving = m_coordinator->save(m_draft.makePatch());
}

void BulkMetadataEditorSheet::reject()
{
    if (!m_closing && m_coordinator)
        m_coordinator->cancelEditing();
    m_closing = true;
    QDialog::reject();
}

void BulkMetadataEditorSheet::followCoordinator()
{
    if (!m_coordinator || m_closing)
        return;
    const auto& batch = m_coordinator->batch();
    if (batch && batch->id == m_batchID)
        return;
    // The save went through (or another batch replaced this one).
    m_closing = true;
    accept();
}

void BulkMetadataEditorSheet::chooseArtwork()
{
    if (m_loadingArtwork)
        return;
    m_artworkError.reset();
    updateState();
    const std::optional<FileURL> file = m_dialogs.chooseImageFile(this, QStringLiteral("Choose Artwork"));
    if (!file)
        return;
    auto loading = loadArtwork(*file);
}

QCoro::Task<> BulkMetadataEditorSheet::loadArtwork(FileURL file)
{
    const QPointer<BulkMetadataEditorSheet> self(this);
    m_loadingArtwork = true;
    m_artworkError.reset();
    updateState();
    auto reading = readPickedArtwork(std::move(file));
    PickedArtwork picked = co_await std::move(reading);
    if (!self)
        co_return;
    m_loadingArtwork = false;
    if (picked.data) {
        m_draft.replacementArtworkData = std::move(picked.data);
        showArtworkPreview(m_preview, m_draft.replacementArtworkData, kPreviewSide * 2);
    }
    m_artworkError = picked.failure;
    updateState();
    emit artworkLoaded();
}

void BulkMetadataEditorSheet::keepExisting()
{
    m_draft.replacementArtworkData.reset();
    m_artworkError.reset();
    showArtworkPreview(m_preview, std::nullopt, kPreviewSide * 2);
    updateState();
}

} // namespace varno
