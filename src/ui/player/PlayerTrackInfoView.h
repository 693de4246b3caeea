#pragma once

#include "storage/Track.h"

#include <QCoroTask>
#include <QWidget>

#include <optional>

namespace varno {

class ArtworkCache;
class ArtworkTile;
class AudioEngine;
class ElidedLabel;
class ThumbnailGenerator;

// The playing song in the bar: its cover (the "waveform" symbol while it has
// none), title, artist and a short upper-case status from the audio
// engine's state, the "now playing" one in the accent colour. The cover is
// fetched through the artwork cache whenever the song changes or a cover
// changes, off the main thread.
class PlayerTrackInfoView final : public QWidget {
    Q_OBJECT

public:
    // Side of the cover, in pixels.
    static constexpr int kArtworkSide = 48;

    PlayerTrackInfoView(AudioEngine& audioEngine, ArtworkCache& artworkCache, ThumbnailGenerator& thumbnails,
                        QWidget* parent = nullptr);

    QString titleText() const;
    QString artistText() const;
    QString statusText() const;
    QColor statusColor() const;
    bool hasArtwork() const;

signals:
    // After a cover (or the lack of one) has been put in place.
    void artworkShown();

private:
    void showTrack();
    void showStatus();
    void reloadArtwork();
    QCoro::Task<> loadArtwork(Track track, quint64 generation);

    AudioEngine& m_audioEngine;
    ArtworkCache& m_artworkCache;
    ThumbnailGenerator& m_thumbnails;
    std::optional<Track> m_shownTrack;
    // Requests carry the generation they were made for; only the newest
    // one's answer is shown.
    quint64 m_artworkGeneration = 0;

    ArtworkTile* m_artwork = nullptr;
    ElidedLabel* m_title = nullptr;
    ElidedLabel* m_artist = nullptr;
    ElidedLabel* m_status = nullptr;
};

} // namespace varno
