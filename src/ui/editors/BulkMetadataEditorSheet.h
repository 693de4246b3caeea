#pragma once

#include "edits/SharedMetadataDraft.h"
#include "storage/FileURL.h"
#include "storage/Track.h"

#include <QCoroTask>
#include <QDialog>
#include <QPointer>

#include <array>
#include <optional>
#include <vector>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace varno {

class ArtworkTile;
class DesktopDialogs;
class StarRatingControl;
class TrackMetadataBatchCoordinator;

// The shared-metadata editor over the songs of a batch coordinator's open
// batch. Each field has a switch: only switched-on fields are applied to
// every song, and typing in a field switches it on. The coordinator owns the
// save: Apply hands it the patch, it publishes isSaving and the last
// failure (shown in red, the sheet staying open with the draft as typed) and
// closes the sheet by ending the batch. Cancel, the close button, Escape
// and Ctrl+Escape end the batch without saving.
//
// Main thread only.
class BulkMetadataEditorSheet final : public QDialog {
    Q_OBJECT

public:
    static const QString kTitle;
    static const QString kSubtitleSuffix;
    static const QString kCloseLabel;
    static const QString kNote;
    static const QString kRatingSection;
    static const QString kMixed;
    static const QString kArtworkSection;
    static const QString kCommentsSection;
    static const QString kChooseArtwork;
    static const QString kReplaceArtwork;
    static const QString kKeepExisting;
    static const QString kKeepExistingHelp;
    static const QString kCancel;
    static const QString kApplying;

    // The switchable one-line fields, in the order they are shown; the
    // comments are their own section.
    enum class Field { Artist, Album, AlbumArtist, Genre, Year, DiscNumber, Composer, Bpm };
    static constexpr int kFieldCount = 8;
    static QString label(Field field);

    static QString applyTitle(qsizetype count);
    static QString artworkText(qsizetype count, bool replacementChosen);

    BulkMetadataEditorSheet(TrackMetadataBatchCoordinator& coordinator, DesktopDialogs& dialogs, QWidget* parent = nullptr);
    ~BulkMetadataEditorSheet() override;

    const SharedMetadataDraft& draft() const { return m_draft; }
    qsizetype songCount() const { return m_count; }

    QLineEdit* field(Field field) const { return m_fields[static_cast<int>(field)]; }
    QCheckBox* fieldSwitch(Field field) const { return m_switches[static_cast<int>(field)]; }
    QPlainTextEdit* commentsField() const { return m_comments; }
    QCheckBox* commentsSwitch() const { return m_commentsSwitch; }
    StarRatingControl* stars() const { return m_stars; }
    QCheckBox* ratingSwitch() const { return m_ratingSwitch; }
    QLabel* mixedRatingLabel() const { return m_mixedRating; }
    QLabel* subtitleLabel() const { return m_subtitle; }
    QLabel* artworkTextLabel() const { return m_artworkText; }
    ArtworkTile* artworkPreview() const { return m_preview; }
    QPushButton* chooseArtworkButton() const { return m_chooseArtwork; }
    QPushButton* keepExistingButton() const { return m_keepExisting; }
    QPushButton* cancelButton() const { return m_cancel; }
    QPushButton* applyButton() const { return m_apply; }
    QLabel* validationLabel() const { return m_validationLabel; }
    QLabel* artworkErrorLabel() const { return m_artworkErrorLabel; }
    QLabel* errorLabel() const { return m_errorLabel; }

    bool isLoadingArtwork() const { return m_loadingArtwork; }
    const std::optional<QString>& artworkError() const { return m_artworkError; }

    // Off while the patch would change nothing, a numeric field is out of
    // range, the chosen image was refused, a save runs or an image loads.
    bool canApply() const;

    void apply();
    void chooseArtwork();
    void keepExisting();

signals:
    void artworkLoaded();

public slots:
    void reject() override;

private:
    QWidget* makeFieldGrid();
    QWidget* makeRatingSection();
    QWidget* makeArtworkSection();
    void readFields();
    void updateState();
    void followCoordinator();

    QCoro::Task<> loadArtwork(FileURL file);

    QPointer<TrackMetadataBatchCoordinator> m_coordinator;
    DesktopDialogs& m_dialogs;
    SharedMetadataDraft m_draft;
    qsizetype m_count = 0;
    QUuid m_batchID;

    std::array<QLineEdit*, kFieldCount> m_fields {};
    std::array<QCheckBox*, kFieldCount> m_switches {};
    QPlainTextEdit* m_comments = nullptr;
    QCheckBox* m_commentsSwitch = nullptr;
    StarRatingControl* m_stars = nullptr;
    QCheckBox* m_ratingSwitch = nullptr;
    QLabel* m_mixedRating = nullptr;
    QLabel* m_subtitle = nullptr;
    QLabel* m_artworkText = nullptr;
    ArtworkTile* m_preview = nullptr;
    QPushButton* m_chooseArtwork = nullptr;
    QPushButton* m_keepExisting = nullptr;
    QPushButton* m_cancel = nullptr;
    QPushButton* m_apply = nullptr;
    QLabel* m_validationLabel = nullptr;
    QLabel* m_artworkErrorLabel = nullptr;
    QLabel* m_errorLabel = nullptr;

    bool m_loadingArtwork = false;
    std::optional<QString> m_artworkError;
    bool m_filling = false;
    bool m_closing = false;
};

} // namespace varno
