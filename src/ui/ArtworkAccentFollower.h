#pragma once

#include "media/ThemeConfiguration.h"

#include <QCoroTask>
#include <QObject>
#include <QTimer>

#include <optional>

namespace varno {

class ArtworkCache;
class AudioEngine;
class ThemeEngine;

// Keeps the theme's accent on the playing song's cover while the user wants
// a dynamic accent, and on the manual accent otherwise (or while nothing
// with a cover is loaded). The cover is read through the artwork cache and
// analysed on the theme engine's worker; an answer for a song no longer
// playing is dropped. Main thread only.
class ArtworkAccentFollower final : public QObject {
    Q_OBJECT

public:
    ArtworkAccentFollower(ThemeEngine& theme, AudioEngine& audio, ArtworkCache& artwork, QObject* parent = nullptr);

    // Whether an analysis is under way; tests wait for it to end.
    bool isBusy() const { return m_running > 0; }

private:
    void configurationSeen();
    QCoro::Task<> follow();

    ThemeEngine& m_theme;
    AudioEngine& m_audio;
    ArtworkCache& m_artwork;
    // A burst of cache changes (an import storing covers) asks once.
    QTimer m_cacheSettled;
    bool m_lastDynamic;
    StudioColor m_lastManual;
    quint64 m_generation = 0;
    int m_running = 0;
};

} // namespace varno
