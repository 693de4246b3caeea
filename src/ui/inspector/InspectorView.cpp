#include "InspectorView.h"

#include "ui/Icons.h"
#include "ui/editors/TrackEditorText.h"
#include "ui/inspector/InspectorText.h"
#include "ui/inspector/SectionCaption.h"
#include "ui/songs/TrackCellFormatter.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QToolButton>
#include <QVBoxLayout>

namespace varno {

namespace {

QString bpmText(const std::optional<std::int64_t>& bpm)
{
    return bpm ? QString::number(*bpm) : QString();
}

const QColor kStarColour(0xf5, 0xc5, 0x42);
const QColor kErrorColour(0xff, 0x6b, 0x6b);

} // namespace

InspectorView::InspectorView(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("inspector"));
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(14);

    auto* properties = new QWidget(this);
    auto* propertiesGrid = new QGridLayout(properties);
    propertiesGrid->setContentsMargins(0, 0, 0, 0);
    m_title = lockedField(QStringLiteral("Song Title (Locked)"), propertiesGrid, 0);
    m_filename = lockedField(QStringLiteral("Filename (Locked)"), propertiesGrid, 2);
    column->addWidget(section(QStringLiteral("PROPERTIES"), properties));

    auto* metadata = new QWidget(this);
    auto* metadataGrid = new QGridLayout(metadata);
    metadataGrid->setContentsMargins(0, 0, 0, 0);
    metadataGrid->setVerticalSpacing(6);
    m_artist = editableField(QStringLiteral("Artist"), metadataGrid, 0);
    m_album = editableField(QStringLiteral("Album"), metadataGrid, 1);
    m_genre = editableField(QStringLiteral("Genre"), metadataGrid, 2);
    m_bpm = editableField(QStringLiteral("BPM"), metadataGrid, 3);
    m_bpmError = new QLabel(metadata);
    m_bpmError->setObjectName(QStringLiteral("bpmError"));
    m_bpmError->setWordWrap(true);
    QPalette errorRed = m_bpmError->palette();
    errorRed.setColor(QPalette::WindowText, kErrorColour);
    m_bpmError->setPalette(errorRed);
    m_bpmError->hide();
    metadataGrid->addWidget(m_bpmError, 4, 1);
    column->addWidget(section(QStringLiteral("METADATA"), metadata));

    auto* rating = new QWidget(this);
    auto* stars = new QHBoxLayout(rating);
    stars->setContentsMargins(0, 0, 0, 0);
    stars->setSpacing(2);
    for (int star = 1; star <= kStarCount; ++star) {
        auto* button = new QToolButton(rating);
        button->setObjectName(QStringLiteral("star%1").arg(star));
        button->setAutoRaise(true);
        button->setIconSize(QSize(18, 18));
        const QString label = star == 1 ? tr("Rate 1 Star") : tr("Rate %1 Stars").arg(star);
        button->setToolTip(label);
        button->setAccessibleName(label);
        button->setCursor(Qt::PointingHandCursor);
        connect(button, &QToolButton::clicked, this, [this, star] { tapStar(star); });
        stars->addWidget(button);
        m_stars.append(button);
    }
    stars->addStretch(1);
    column->addWidget(section(QStringLiteral("RATING"), rating));

    auto* technical = new QWidget(this);
    auto* technicalGrid = new QGridLayout(technical);
    technicalGrid->setContentsMargins(0, 0, 0, 0);
    technicalGrid->setVerticalSpacing(5);
    technicalGrid->setColumnStretch(1, 1);
    int row = 0;
    for (const QString& label : {QStringLiteral("Format"), QStringLiteral("Bitrate"), QStringLiteral("Sample Rate"),
                                 QStringLiteral("Duration"), QStringLiteral("Date Added")}) {
        auto* name = new QLabel(label, technical);
        name->setForegroundRole(QPalette::PlaceholderText);
        auto* value = new QLabel(technical);
        value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        value->setTextInteractionFlags(Qt::TextSelectableByMouse);
        technicalGrid->addWidget(name, row, 0);
        technicalGrid->addWidget(value, row, 1);
        m_technical.append({label, value});
        ++row;
    }
    column->addWidget(section(QStringLiteral("TECHNICAL"), technical));

    m_error = new QLabel(this);
    m_error->setObjectName(QStringLiteral("inspectorError"));
    m_error->setWordWrap(true);
    QPalette red = m_error->palette();
    red.setColor(QPalette::WindowText, kErrorColour);
    m_error->setPalette(red);
    m_error->hide();
    column->addWidget(m_error);
    setRatingInput(0);
}

QWidget* InspectorView::section(const QString& title, QWidget* content)
{
    auto* box = new QWidget(this);
    auto* layout = new QVBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
    layout->addWidget(makeSectionCaption(title, box));
    layout->addWidget(content);
    return box;
}

QLineEdit* InspectorView::lockedField(const QString& label, QGridLayout* grid, int row)
{
    auto* caption = new QWidget;
    auto* captionRow = new QHBoxLayout(caption);
    captionRow->setContentsMargins(0, 0, 0, 0);
    captionRow->setSpacing(4);
    auto* lock = new QLabel(caption);
    lock->setPixmap(symbolIcon(u"lock.fill", palette().color(QPalette::PlaceholderText)).pixmap(11, 11));
    auto* text = new QLabel(label, caption);
    text->setForegroundRole(QPalette::PlaceholderText);
    captionRow->addWidget(lock);
    captionRow->addWidget(text);
    captionRow->addStretch(1);
    auto* field = new QLineEdit;
    field->setReadOnly(true);
    field->setAccessibleName(label);
    field->setFocusPolicy(Qt::ClickFocus);
    grid->addWidget(caption, row, 0);
    grid->addWidget(field, row + 1, 0);
    return field;
}

QLineEdit* InspectorView::editableField(const QString& label, QGridLayout* grid, int row)
{
    auto* name = new QLabel(label);
    name->setForegroundRole(QPalette::PlaceholderText);
    auto* field = new QLineEdit;
    field->setObjectName(label.toLower() + QStringLiteral("Field"));
    field->setAccessibleName(label);
    field->setPlaceholderText(label);
    grid->addWidget(name, row, 0);
    grid->addWidget(field, row, 1);
    grid->setColumnStretch(1, 1);
    connect(field, &QLineEdit::textEdited, this, [this, field] { inputEdited(field); });
    connect(field, &QLineEdit::editingFinished, this, &InspectorView::editFinished);
    return field;
}

void InspectorView::setTrack(const Track& track)
{
    m_track = track;
    m_title->setText(track.title);
    m_title->setCursorPosition(0);
    m_filename->setText(track.filename);
    m_filename->setCursorPosition(0);
    m_artist->setText(track.artist.value_or(QString()));
    m_album->setText(track.album.value_or(QString()));
    m_genre->setText(track.genre.value_or(QString()));
    m_bpm->setText(bpmText(track.bpm));
    m_storedBpm = track.bpm;
    setRatingInput(track.rating);
    fillTechnical();
    setError(std::nullopt);
    showBpmProblem(std::nullopt);
}

void InspectorView::showBpmProblem(const std::optional<QString>& problem)
{
    m_bpmError->setText(problem.value_or(QString()));
    m_bpmError->setVisible(problem.has_value());
    // A screen reader hears the problem with the field's name.
    m_bpm->setAccessibleDescription(problem.value_or(QString()));
}

void InspectorView::follow(QLineEdit* field, const QString& text)
{
    if (!field->hasFocus() && field->text() != text)
        field->setText(text);
}

void InspectorView::refreshFrom(const Track& track)
{
    // The fields being typed in keep what the user has typed; the copy
    // keeps it too, so the next store does not undo it.
    Track merged = track;
    m_storedBpm = track.bpm;
    const auto typing = [](QLineEdit* field) { return field->hasFocus(); };
    if (typing(m_artist))
        merged.artist = m_track.artist;
    if (typing(m_album))
        merged.album = m_track.album;
    if (typing(m_genre))
        merged.genre = m_track.genre;
    if (typing(m_bpm))
        merged.bpm = m_track.bpm;
    m_track = merged;
    m_title->setText(track.title);
    m_filename->setText(track.filename);
    follow(m_artist, track.artist.value_or(QString()));
    follow(m_album, track.album.value_or(QString()));
    follow(m_genre, track.genre.value_or(QString()));
    follow(m_bpm, bpmText(track.bpm));
    if (!typing(m_bpm) && m_bpm->text() == bpmText(track.bpm))
        showBpmProblem(std::nullopt);
    setRatingInput(track.rating);
    fillTechnical();
}

void InspectorView::setError(const std::optional<QString>& message)
{
    m_error->setText(message.value_or(QString()));
    m_error->setVisible(message.has_value());
}

QString InspectorView::technicalText(const QString& label) const
{
    for (const auto& [name, value] : m_technical) {
        if (name == label)
            return value->text();
    }
    return {};
}

QString InspectorView::errorText() const
{
    return m_error->isVisibleTo(this) ? m_error->text() : QString();
}

void InspectorView::inputEdited(QLineEdit* field)
{
    // Only the field typed in is announced: a store of it leaves the song's
    // other fields as the library holds them then.
    TrackPatch patch;
    if (field == m_artist) {
        m_track.artist = inspector::textInputValue(m_artist->text());
        patch.artist = OptionalMetadataChange<QString>::set(m_track.artist);
    } else if (field == m_album) {
        m_track.album = inspector::textInputValue(m_album->text());
        patch.album = OptionalMetadataChange<QString>::set(m_track.album);
    } else if (field == m_genre) {
        m_track.genre = inspector::textInputValue(m_genre->text());
        patch.genre = OptionalMetadataChange<QString>::set(m_track.genre);
    } else if (field == m_bpm) {
        // Text that is no number is pointed out and never stored: the BPM
        // goes back to the library's (a number typed on the way, "12" of
        // "12a", is taken back) until the text is a number or blank.
        const std::optional<QString> problem = inspector::bpmInputProblem(m_bpm->text());
        showBpmProblem(problem);
        m_track.bpm = problem ? m_storedBpm : inspector::bpmInputValue(m_bpm->text());
        patch.bpm = OptionalMetadataChange<std::int64_t>::set(m_track.bpm);
    } else {
        return;
    }
    emit trackEdited(m_track.id, patch);
}

void InspectorView::tapStar(int star)
{
    setRatingInput(inspector::ratingAfterTapping(m_ratingInput, star));
    m_track.rating = m_ratingInput;
    emit trackEdited(m_track.id, TrackPatch::withRating(m_ratingInput));
    emit editFinished();
}

void InspectorView::setRatingInput(std::int64_t rating)
{
    m_ratingInput = rating;
    const QColor empty = palette().color(QPalette::PlaceholderText);
    for (int star = 1; star <= kStarCount; ++star) {
        const bool filled = star <= rating;
        m_stars[star - 1]->setIcon(filled ? symbolIcon(u"star.fill", kStarColour) : symbolIcon(u"star", empty));
        m_stars[star - 1]->setProperty("filled", filled);
    }
}

void InspectorView::fillTechnical()
{
    const auto set = [this](const QString& label, const QString& text) {
        for (auto& [name, value] : m_technical) {
            if (name == label)
                value->setText(text.isEmpty() ? QStringLiteral("—") : text);
        }
    };
    set(QStringLiteral("Format"), inspector::formatText(m_track));
    set(QStringLiteral("Bitrate"), m_track.bitrate ? formatBitrate(*m_track.bitrate) : QString());
    set(QStringLiteral("Sample Rate"), m_track.sampleRate ? formatSampleRate(*m_track.sampleRate) : QString());
    set(QStringLiteral("Duration"), formatDurationText(m_track.duration));
    set(QStringLiteral("Date Added"), inspector::dateAddedText(m_track));
}

} // namespace varno
