#pragma once

#include "platform/AudioPlayer.h"
#include "platform/MediaReader.h"

#include <QHash>
#include <QString>

#include <memory>
#include <optional>
#include <vector>

namespace varno::test {

// How a fake player behaves for one file.
struct FakePlayerScript {
    double duration = 200;
    bool prepares = true;
    bool plays = true;
    // When set, creating the player throws MediaReadError with this reason.
    std::optional<QString> openFailure;
};

// What happened to one fake player, kept after the engine dropped it.
struct FakePlayerLog {
    QString path;
    std::vector<QString> calls;
    std::vector<float> volumes;
    double currentTime = 0;
    bool alive = true;
    bool playing = false;
    AudioPlayerObserver* observer = nullptr;
};

// A player that plays nothing: the test moves its clock and ends it.
class FakeAudioPlayer final : public AudioPlayer {
public:
    FakeAudioPlayer(FakePlayerScript script, std::shared_ptr<FakePlayerLog> log)
        : m_script(std::move(script))
        , m_log(std::move(log))
    {
    }
    ~FakeAudioPlayer() override { m_log->alive = false; }

    double duration() const override { return m_script.duration; }
    double currentTime() const override { return m_log->currentTime; }
    void setCurrentTime(double seconds) override
    {
        m_log->calls.push_back(QStringLiteral("seek %1").arg(seconds));
        m_log->currentTime = seconds;
    }
    void setVolume(float volume) override { m_log->volumes.push_back(volume); }
    bool prepareToPlay() override
    {
        m_log->calls.push_back(QStringLiteral("prepare"));
        return m_script.prepares;
    }
    bool play() override
    {
        m_log->calls.push_back(QStringLiteral("play"));
        m_log->playing = m_script.plays;
        return m_script.plays;
    }
    void pause() override
    {
        m_log->calls.push_back(QStringLiteral("pause"));
        m_log->playing = false;
    }
    void stop() override
    {
        m_log->calls.push_back(QStringLiteral("stop"));
        m_log->playing = false;
    }
    void setObserver(AudioPlayerObserver* observer) override { m_log->observer = observer; }

    // The natural end, as the platform would report it.
    void finish(bool successfully)
    {
        if (m_log->observer)
            m_log->observer->audioPlayerDidFinishPlaying(*this, successfully);
    }

private:
    FakePlayerScript m_script;
    std::shared_ptr<FakePlayerLog> m_log;
};

class FakeAudioPlayerFactory final : public AudioPlayerFactory {
public:
    struct Shared {
        FakePlayerScript defaultScript;
        QHash<QString, FakePlayerScript> scripts;
        // When set, every creation fails as if the sound server were gone.
        std::optional<QString> outputDown;
        std::vector<std::shared_ptr<FakePlayerLog>> logs;
        std::vector<FakeAudioPlayer*> players;
    };

    explicit FakeAudioPlayerFactory(std::shared_ptr<Shared> shared)
        : m_shared(std::move(shared))
    {
    }

    std::unique_ptr<AudioPlayer> makePlayer(const QString& path) override
    {
        if (m_shared->outputDown)
            throw AudioOutputError(*m_shared->outputDown);
        const FakePlayerScript script = m_shared->scripts.value(path, m_shared->defaultScript);
        if (script.openFailure)
            throw MediaReadError(path, *script.openFailure);
        auto log = std::make_shared<FakePlayerLog>();
        log->path = path;
        auto player = std::make_unique<FakeAudioPlayer>(script, log);
        m_shared->logs.push_back(log);
        m_shared->players.push_back(player.get());
        return player;
    }

private:
    std::shared_ptr<Shared> m_shared;
};

} // namespace varno::test
