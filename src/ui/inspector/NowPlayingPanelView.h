#pragma once

#include "edits/TrackPatch.h"
#include "storage/Track.h"
#include "ui/ViewEnvironment.h"

#include <QCoroTask>
#include <QTimer>
#include <QWidget>

#include <optional>

class QLabel;
class QScrollArea;
class QMenu;
class QToolButton;
class QVBoxLayout;

namespace varno {

class InspectorView;
class NowPlayingArtworkView;
class NowPlayingIndicator;
class NowPlayingMetadataDetailsView;
struct TrackListChange;

// The right panel. Everything in it is about one song: the song selected in
// a list, else the one loaded in the player. The upper part shows its cover,
// title, artist and album, whether it is the one playing (only then), its
// actions and its audio details; below it the inspector edits the same
// song, storing edits through the library engine. An edit never reaches a
// song other than the one named above it.
//
// Songs are shown as the library has them now, found by id from a remembered
// position, so following an edit costs no search through the library. Main
// thread only; covers are read through the artwork cache and decoded on a
// worker, and an answer for a song no longer shown is dropped.
class NowPlayingPanelView final : public QWidget {
    Q_OBJECT

public:
    static const QString kNoTrackText;
    static const QString kUnknownArtist;
    static const QString kUnknownAlbum;

    explicit NowPlayingPanelView(ViewEnvironment environment, QWidget* parent = nullptr);
    ~NowPlayingPanelView() override;

    // The song the panel is about, if any; the inspector edits it.
    const std::optional<Track>& shownTrack() const { return m_shown; }
    const std::optional<Track>& inspectedTrack() const { return m_shown; }
    // Whether the shown song is the one in the player (playing or paused).
    bool isShowingLoadedSong() const;
    bool isShowingEmptyState() const;
    QString titleText() const;
    QString artistText() const;
    QString albumText() const;

    NowPlayingArtworkView* artworkView() const { return m_artwork; }
    NowPlayingIndicator* indicator() const { return m_indicator; }
    NowPlayingMetadataDetailsView* details() const { return m_details; }
    InspectorView* inspector() const { return m_inspector; }
    QToolButton* actionsButton() const { return m_actions; }
    // Scrolls the panel so the inspector's fields are in view.
    void scrollToInspector();
    // Whether an edit is waiting or being stored.
    bool isStoringEdits() const { return m_pendingEdit.has_value() || m_storing > 0; }
    // Whether a cover is being read for the shown song.
    bool isLoadingArtwork() const { return m_loadingArtwork; }

signals:
    // The shown song's editor should open.
    void editRequested(const varno::Track& track);

private:
    void follow();
    std::optional<Track> resolve(const Track& track, qsizetype& position) const;
    void showSong(const Track& track, bool newSong);
    void updateIndicator();
    void applyTheme();
    void edited(const QUuid& id, const TrackPatch& patch);
    void storePending();
    QCoro::Task<> store(QUuid id, TrackPatch patch);
    QCoro::Task<> loadArtwork(Track track);
    QMenu* makeActionsMenu();

    ViewEnvironment m_environment;
    std::optional<Track> m_shown;
    // Where the song was last found in the library's list.
    qsizetype m_shownPosition = -1;

    QScrollArea* m_scroll = nullptr;
    QVBoxLayout* m_contentLayout = nullptr;
    QWidget* m_empty = nullptr;
    QWidget* m_song = nullptr;
    NowPlayingArtworkView* m_artwork = nullptr;
    QLabel* m_title = nullptr;
    QLabel* m_artist = nullptr;
    QLabel* m_album = nullptr;
    NowPlayingIndicator* m_indicator = nullptr;
    QToolButton* m_actions = nullptr;
    QWidget* m_audioSection = nullptr;
    NowPlayingMetadataDetailsView* m_details = nullptr;
    QWidget* m_inspectorSection = nullptr;
    InspectorView* m_inspector = nullptr;

    // Typing is stored when the field is left or confirmed, or after a
    // pause: the library file is not rewritten at every key. Only the fields
    // typed in are stored, over the song as the library holds it then.
    struct PendingEdit {
        QUuid id;
        TrackPatch patch;
    };
    std::optional<PendingEdit> m_pendingEdit;
    QTimer m_storeTimer;
    int m_storing = 0;
    QByteArray m_coverBytes;
    quint64 m_artworkGeneration = 0;
    bool m_loadingArtwork = false;
};

} // namespace varno
