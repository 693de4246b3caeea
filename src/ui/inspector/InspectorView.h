#pragma once

#include "edits/TrackPatch.h"
#include "storage/Track.h"

#include <QList>
#include <QWidget>

#include <optional>

class QGridLayout;
class QLabel;
class QLineEdit;
class QToolButton;

namespace varno {

// The inspected song's properties, with its artist, album, genre, BPM and
// rating editable in place. Every change of an input is written into the
// view's own copy of the song at once and announced with trackEdited() as
// the change of that one field; the view that shows it decides when the
// changes are stored.
// Main thread only.
class InspectorView final : public QWidget {
    Q_OBJECT

public:
    static constexpr int kStarCount = 5;

    explicit InspectorView(QWidget* parent = nullptr);

    const Track& track() const { return m_track; }
    // Another song: every input is filled from it.
    void setTrack(const Track& track);
    // The same song as changed elsewhere (the list's heart, an editor): the
    // inputs the user is not typing in follow it.
    void refreshFrom(const Track& track);
    // The last failure to store an edit, shown under the inputs.
    void setError(const std::optional<QString>& message);

    QLineEdit* titleField() const { return m_title; }
    QLineEdit* filenameField() const { return m_filename; }
    QLineEdit* artistField() const { return m_artist; }
    QLineEdit* albumField() const { return m_album; }
    QLineEdit* genreField() const { return m_genre; }
    QLineEdit* bpmField() const { return m_bpm; }
    // What is wrong with the BPM typed, under the field; hidden while it is
    // blank or a whole number.
    QLabel* bpmErrorLabel() const { return m_bpmError; }
    // Star 1...5.
    QToolButton* starButton(int star) const { return m_stars.at(star - 1); }
    std::int64_t ratingInput() const { return m_ratingInput; }
    // The value beside a "TECHNICAL" label ("Format", "Duration", …).
    QString technicalText(const QString& label) const;
    QString errorText() const;

signals:
    void trackEdited(const QUuid& id, const varno::TrackPatch& patch);
    // An input was left or confirmed, or a star clicked: a good moment to
    // store what was typed.
    void editFinished();

private:
    QWidget* section(const QString& title, QWidget* content);
    QLineEdit* lockedField(const QString& label, QGridLayout* grid, int row);
    QLineEdit* editableField(const QString& label, QGridLayout* grid, int row);
    void inputEdited(QLineEdit* field);
    void showBpmProblem(const std::optional<QString>& problem);
    void tapStar(int star);
    void setRatingInput(std::int64_t rating);
    void fillTechnical();
    static void follow(QLineEdit* field, const QString& text);

    Track m_track;
    std::int64_t m_ratingInput = 0;
    QLineEdit* m_title = nullptr;
    QLineEdit* m_filename = nullptr;
    QLineEdit* m_artist = nullptr;
    QLineEdit* m_album = nullptr;
    QLineEdit* m_genre = nullptr;
    QLineEdit* m_bpm = nullptr;
    QList<QToolButton*> m_stars;
    QList<std::pair<QString, QLabel*>> m_technical;
    QLabel* m_error = nullptr;
    QLabel* m_bpmError = nullptr;
    // The BPM as the library holds it, for text that is no number to fall
    // back on.
    std::optional<std::int64_t> m_storedBpm;
};

} // namespace varno
