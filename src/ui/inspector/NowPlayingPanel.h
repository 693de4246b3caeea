#pragma once

#include "storage/Track.h"
#include "ui/ViewEnvironment.h"

#include <QCoroTask>
#include <QWidget>

#include <optional>

class QLabel;

namespace varno {

// The right panel: the playing song, or the inspected one while nothing is
// loaded, with its cover, title, artist and album. Main thread only; the
// cover is read through the artwork cache as the song changes, and a late
// answer for a song no longer shown is dropped.
class NowPlayingPanel final : public QWidget {
    Q_OBJECT

public:
    static const QString kHeading;
    static const QString kNothingTitle;
    static const QString kNothingSubtitle;

    explicit NowPlayingPanel(ViewEnvironment environment, QWidget* parent = nullptr);

    // The song shown, if any.
    const std::optional<Track>& shownTrack() const { return m_shown; }
    QString titleText() const;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void follow();
    QCoro::Task<> loadArtwork(Track track);
    void showArtwork(const QImage& image);

    ViewEnvironment m_environment;
    std::optional<Track> m_shown;
    QLabel* m_artwork;
    QLabel* m_title;
    QLabel* m_artist;
    QLabel* m_album;
    QLabel* m_details;
    QImage m_cover;
    quint64 m_generation = 0;
};

} // namespace varno
