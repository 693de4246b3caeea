#pragma once

#include "platform/AudioOutput.h"
#include "platform/NullAudioOutput.h"

#include <QStringList>

#include <algorithm>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace varno::test {

// A sound server's sinks as the players see them, without a server: the
// test changes which sinks are there (a device plugged in or out), and every
// stream opened is recorded with the sink it went to. As the server does, a
// chosen sink that is not there is stood in for by the default one and
// reported as missing. Streams play on the null output's clock. Main thread
// only, like the players that open streams.
class FakeSinkOutput final : public audio::AudioOutput {
public:
    struct Sinks {
        std::vector<audio::OutputDevice> present;
        // The sink of each stream opened, in order; empty for the default.
        QStringList streams;
    };

    explicit FakeSinkOutput(std::shared_ptr<Sinks> sinks, double speed = 1.0)
        : m_sinks(std::move(sinks))
        , m_clock(speed)
    {
    }

    bool isUsable() const override { return true; }
    std::unique_ptr<audio::AudioOutputStream> openStream(const audio::StreamFormat& format, audio::AudioSource& source) override
    {
        const bool present = std::any_of(m_sinks->present.begin(), m_sinks->present.end(),
                                         [&](const audio::OutputDevice& sink) { return sink.id == m_device; });
        if (!m_device.isEmpty() && !present)
            m_missing = m_device;
        m_sinks->streams << (present ? m_device : QString());
        return m_clock.openStream(format, source);
    }
    std::vector<audio::OutputDevice> devices() override { return m_sinks->present; }
    void setDevice(const QString& id) override
    {
        m_device = id;
        m_missing.reset();
    }
    std::optional<QString> takeMissingDevice() override { return std::exchange(m_missing, std::nullopt); }

private:
    std::shared_ptr<Sinks> m_sinks;
    audio::NullAudioOutput m_clock;
    QString m_device;
    std::optional<QString> m_missing;
};

} // namespace varno::test
