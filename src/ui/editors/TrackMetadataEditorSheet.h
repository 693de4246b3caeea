#pragma once

#include "storage/Track.h"

#include <QByteArray>
#include <QCoroTask>
#include <QDialog>

#include <array>
#include <optional>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QToolButton;

namespace varno {

class ArtworkCache;
class ArtworkTile;
class DesktopDialogs;
class StarRatingControl;
class TrackEditor;

// The single-song editor: the song's texts, rating, cover and lyrics, edited
// as text and turned into a new record on Save. The sheet owns only its
// editing state; its owner stores what changed between the record the sheet
// opened on and the edited one (saveRequested) and answers with
// finishSaving() or setErrorMessage(), so a refused save leaves the sheet
// open with everything the user typed. The cover is written through the
// track editor once the record is stored, by a task that outlives the
// sheet. Cancel, the close button and Escape emit cancelRequested and close.
//
// Main thread only.
class TrackMetadataEditorSheet final : public QDialog {
    Q_OBJECT

public:
    static const QString kTitle;
    static const QString kRatingSection;
    static const QString kArtworkSection;
    static const QString kLyricsSection;
    static const QString kChooseArtwork;
    static const QString kRemoveArtwork;
    static const QString kCancel;
    static const QString kSave;

    // The text fields, in the order they are shown.
    enum class Field { Title, Artist, Album, AlbumArtist, Genre, Year, TrackNumber, Duration, Bpm };
    static constexpr int kFieldCount = 9;
    static QString label(Field field);

    // The cover is read from `artworkCache` and written through `editor`.
    TrackMetadataEditorSheet(Track track, ArtworkCache& artworkCache, TrackEditor& editor, DesktopDialogs& dialogs, QWidget* parent = nullptr);
    ~TrackMetadataEditorSheet() override;

    // The record the sheet opened on.
    const Track& track() const { return m_track; }

    QLineEdit* field(Field field) const { return m_fields[static_cast<int>(field)]; }
    QPlainTextEdit* lyricsField() const { return m_lyrics; }
    StarRatingControl* stars() const { return m_stars; }
    ArtworkTile* artworkPreview() const { return m_preview; }
    QPushButton* chooseArtworkButton() const { return m_chooseArtwork; }
    QPushButton* removeArtworkButton() const { return m_removeArtwork; }
    QPushButton* cancelButton() const { return m_cancel; }
    QPushButton* saveButton() const { return m_save; }
    QLabel* errorLabel() const { return m_errorLabel; }
    QLabel* artworkErrorLabel() const { return m_artworkErrorLabel; }
    // The error shown under a field (hidden while its text is fine).
    QLabel* fieldErrorLabel(Field field) const { return m_fieldErrors[static_cast<int>(field)]; }

    // The cover as it will be saved, and as it was when the sheet opened.
    const std::optional<QByteArray>& artworkData() const { return m_artworkData; }
    const std::optional<QByteArray>& initialArtworkData() const { return m_initialArtworkData; }
    // The song's stored cover has been looked up (found or not).
    bool isCoverLoaded() const { return m_coverLoaded; }
    bool isLoadingArtwork() const { return m_loadingArtwork; }
    // Why the last chosen image was refused.
    const std::optional<QString>& artworkError() const { return m_artworkError; }

    // The title is not blank, the duration parses, and year, track number
    // and BPM are blank or whole numbers.
    bool canSave() const;
    // What is wrong with a field's text, as shown under it; none when it
    // is fine. Every field says so at once.
    std::optional<QString> fieldProblem(Field field) const;
    // The record Save hands over; none while a text does not parse.
    std::optional<Track> editedTrack() const;

    // The owner's last save failure, shown in red.
    const std::optional<QString>& errorMessage() const { return m_errorMessage; }
    void setErrorMessage(std::optional<QString> message);
    // While the owner stores the record Save is disabled, so it is not
    // stored twice.
    void setSaving(bool saving);
    bool isSaving() const { return m_saving; }

    // Save, as the button and Ctrl+Return do: hands the edited record to
    // the owner; does nothing while a text does not parse.
    void save();
    // The owner stored the record: the cover change is written (or the
    // cover evicted) and the sheet closes.
    void finishSaving();

    void chooseArtwork();
    void removeArtwork();

signals:
    void saveRequested(const varno::Track& track);
    void cancelRequested();
    void coverLoaded();
    void artworkChanged();

public slots:
    void reject() override;

private:
    QWidget* makeFields();
    QWidget* makeArtworkSection();
    void fillFromTrack();
    void updateState();
    void showArtwork();
    void setArtworkData(std::optional<QByteArray> data);

    QCoro::Task<> loadCover();
    QCoro::Task<> loadChosenArtwork(FileURL file);

    Track m_track;
    ArtworkCache& m_artworkCache;
    TrackEditor& m_editor;
    DesktopDialogs& m_dialogs;

    std::array<QLineEdit*, kFieldCount> m_fields {};
    QPlainTextEdit* m_lyrics = nullptr;
    StarRatingControl* m_stars = nullptr;
    ArtworkTile* m_preview = nullptr;
    QPushButton* m_chooseArtwork = nullptr;
    QPushButton* m_removeArtwork = nullptr;
    QPushButton* m_cancel = nullptr;
    QPushButton* m_save = nullptr;
    QLabel* m_errorLabel = nullptr;
    QLabel* m_artworkErrorLabel = nullptr;
    std::array<QLabel*, kFieldCount> m_fieldErrors {};

    std::optional<QByteArray> m_artworkData;
    std::optional<QByteArray> m_initialArtworkData;
    // The user chose or removed a cover before the stored one was found;
    // the stored one then only becomes the initial cover.
    bool m_artworkTouched = false;
    bool m_coverLoaded = false;
    bool m_loadingArtwork = false;
    std::optional<QString> m_artworkError;
    std::optional<QString> m_errorMessage;
    bool m_saving = false;
};

} // namespace varno
