// Making players: one connection to the sound output shared by every
// player, the device chosen on it, and the output picked by
// VARNO_AUDIO_OUTPUT.

#include "platform/FFmpegAudioPlayer.h"

#include "platform/AudioRingBuffer.h"
#include "platform/Diagnostics.h"
#include "platform/FFmpegStreamDecoder.h"
#include "platform/NullAudioOutput.h"
#include "platform/PulseAudioOutput.h"
#include "platform/WavFileAudioOutput.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QMetaObject>

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <numbers>
#include <span>
#include <system_error>

#include <pthread.h>

namespace varno {

AudioOutputConnection::AudioOutputConnection(Connect connect)
    : m_connect(std::move(connect))
{
}

std::shared_ptr<audio::AudioOutput> AudioOutputConnection::usableOutput()
{
    if (!m_output || !m_output->isUsable()) {
        // The old connection goes first: players still holding it keep it
        // alive until they let go.
        m_output.reset();
        m_output = m_connect();
        if (!m_device.isEmpty())
            m_output->setDevice(m_device);
    }
    return m_output;
}

void AudioOutputConnection::setDevice(const QString& id)
{
    m_device = id;
    m_missingTold = false;
    if (m_output)
        m_output->setDevice(id);
}

std::optional<QString> AudioOutputConnection::takeMissingDevice()
{
    std::optional<QString> missing = usableOutput()->takeMissingDevice();
    if (!missing || m_missingTold)
        return std::nullopt;
    m_missingTold = true;
    return missing;
}


// --- factory ---

FFmpegAudioPlayerFactory::FFmpegAudioPlayerFactory(Connect connect)
    : m_connection(std::make_shared<AudioOutputConnection>(std::move(connect)))
{
}

std::unique_ptr<AudioPlayer> FFmpegAudioPlayerFactory::makePlayer(const QString& path)
{
    return std::make_unique<FFmpegAudioPlayer>(path, m_connection->usableOutput(), m_connection);
}

std::vector<audio::OutputDevice> FFmpegAudioPlayerFactory::devices()
{
    try {
        return m_connection->usableOutput()->devices();
    } catch (const AudioOutputError&) {
        // No sound server now: nothing to choose from.
        return {};
    }
}

void FFmpegAudioPlayerFactory::setDevice(const QString& id)
{
    m_connection->setDevice(id);
}

std::optional<QString> FFmpegAudioPlayerFactory::takeMissingDevice()
{
    try {
        return m_connection->takeMissingDevice();
    } catch (const AudioOutputError&) {
        return std::nullopt;
    }
}

namespace {

double clockSpeed()
{
    const QByteArray text = qgetenv("VARNO_NULL_OUTPUT_SPEED").trimmed();
    if (text.isEmpty())
        return 1.0;
    bool ok = false;
    const double value = text.toDouble(&ok);
    if (ok && value > 0 && std::isfinite(value))
        return value;
    printDiagnostic(QStringLiteral("VARNO_NULL_OUTPUT_SPEED=%1 is not a positive number; using 1").arg(QString::fromLocal8Bit(text)));
    return 1.0;
}

} // namespace

std::unique_ptr<AudioPlayerFactory> makeDefaultAudioPlayerFactory()
{
    const QByteArray raw = qgetenv("VARNO_AUDIO_OUTPUT").trimmed();
    const QByteArray choice = raw.toLower();
    if (choice == "null") {
        const double speed = clockSpeed();
        return std::make_unique<FFmpegAudioPlayerFactory>([speed] { return std::make_shared<audio::NullAudioOutput>(speed); });
    }
    if (choice.startsWith("wav:") && raw.size() > 4) {
        // One recording for the process: the connection keeps the output it
        // made, and a WAV output never goes away.
        const double speed = clockSpeed();
        const QString path = QFile::decodeName(raw.mid(4));
        return std::make_unique<FFmpegAudioPlayerFactory>([speed, path] { return std::make_shared<audio::WavFileAudioOutput>(path, speed); });
    }
    if (!choice.isEmpty() && choice != "auto" && choice != "pulse")
        printDiagnostic(QStringLiteral("VARNO_AUDIO_OUTPUT=%1 is not an audio output (auto, pulse, null or wav:PATH); using auto")
                            .arg(QString::fromLocal8Bit(qgetenv("VARNO_AUDIO_OUTPUT"))));
    return std::make_unique<FFmpegAudioPlayerFactory>([] { return audio::PulseAudioOutput::connect(); });
}


} // namespace varno
