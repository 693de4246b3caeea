#pragma once

#include "platform/AudioOutput.h"

#include <atomic>
#include <memory>

#include <QByteArray>

struct pa_context;
struct pa_threaded_mainloop;

namespace varno::audio {

// The sound server, through libpulse's asynchronous API: one context and one
// mainloop thread for everything this object opens, one stream per prepared
// player. Streams ask for about 150 ms of latency and are fed from the
// mainloop thread's write callback; positions come from the server's timing
// reports (what the sink has taken, less what it still holds), so they are
// what is being heard.
//
// Whoever makes the output owns the connection (players keep it alive while
// they have streams), so a process, or a test, can connect again after the
// server went away or changed.
class PulseAudioOutput final : public AudioOutput, public std::enable_shared_from_this<PulseAudioOutput> {
public:
    // Connects without starting a server. Throws AudioOutputError with the
    // server's reason ("Connection refused") when none can be reached.
    static std::shared_ptr<PulseAudioOutput> connect();
    ~PulseAudioOutput() override;

    PulseAudioOutput(const PulseAudioOutput&) = delete;
    PulseAudioOutput& operator=(const PulseAudioOutput&) = delete;

    bool isUsable() const override;
    QString failureReason() const override;
    std::unique_ptr<AudioOutputStream> openStream(const StreamFormat& format, AudioSource& source) override;
    // The server's sinks.
    std::vector<OutputDevice> devices() override;
    void setDevice(const QString& id) override;
    std::optional<QString> takeMissingDevice() override;

    // For streams, with the mainloop locked.
    QByteArray device() const { return m_device; }
    void noteMissingDevice() { m_missingDevice = QString::fromUtf8(m_device); }

    pa_threaded_mainloop* mainloop() const { return m_mainloop; }
    pa_context* context() const { return m_context; }

private:
    struct Key {};

public:
    explicit PulseAudioOutput(Key);

private:
    static void onContextState(pa_context* context, void* self);

    pa_threaded_mainloop* m_mainloop = nullptr;
    pa_context* m_context = nullptr;
    std::atomic<bool> m_lost {false};
    // Guarded by the mainloop's lock.
    QByteArray m_device;
    std::optional<QString> m_missingDevice;
};

} // namespace varno::audio
