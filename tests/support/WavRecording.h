#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QtEndian>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <vector>

namespace varno::test {

// What the WAV output recorded: 32-bit float frames, interleaved.
struct WavRecording {
    int sampleRate = 0;
    int channels = 0;
    std::vector<float> samples;

    std::size_t frames() const { return channels > 0 ? samples.size() / std::size_t(channels) : 0; }
    float at(std::size_t frame, int channel) const { return samples[frame * std::size_t(channels) + std::size_t(channel)]; }

    // The first and the last frame where `channel` is not silent; none when
    // it is silent throughout.
    std::optional<std::size_t> firstSounding(int channel) const
    {
        for (std::size_t f = 0; f < frames(); ++f) {
            if (at(f, channel) != 0.0f)
                return f;
        }
        return std::nullopt;
    }
    std::optional<std::size_t> lastSounding(int channel) const
    {
        for (std::size_t f = frames(); f-- > 0;) {
            if (at(f, channel) != 0.0f)
                return f;
        }
        return std::nullopt;
    }
    // The largest magnitude of `channel` over frames [from, to).
    float peak(int channel, std::size_t from, std::size_t to) const
    {
        float peak = 0;
        for (std::size_t f = from; f < std::min(to, frames()); ++f)
            peak = std::max(peak, std::fabs(at(f, channel)));
        return peak;
    }
};

// Reads a RIFF WAVE file of 32-bit float samples, trusting the sizes its
// header states: a header left behind is what a reader would see.
inline WavRecording readWavRecording(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error("cannot open the recording " + path.toStdString());
    const QByteArray bytes = file.readAll();
    if (bytes.size() < 12 || !bytes.startsWith("RIFF") || bytes.mid(8, 4) != "WAVE")
        throw std::runtime_error("not a WAV file: " + path.toStdString());
    WavRecording recording;
    qsizetype at = 12;
    while (at + 8 <= bytes.size()) {
        const QByteArray id = bytes.mid(at, 4);
        const auto size = qFromLittleEndian<quint32>(bytes.constData() + at + 4);
        const char* body = bytes.constData() + at + 8;
        if (id == "fmt ") {
            if (qFromLittleEndian<quint16>(body) != 3 || qFromLittleEndian<quint16>(body + 14) != 32)
                throw std::runtime_error("not 32-bit float: " + path.toStdString());
            recording.channels = qFromLittleEndian<quint16>(body + 2);
            recording.sampleRate = int(qFromLittleEndian<quint32>(body + 4));
        } else if (id == "data") {
            const qsizetype available = std::min<qsizetype>(qsizetype(size), bytes.size() - at - 8);
            recording.samples.resize(std::size_t(available) / sizeof(float));
            std::memcpy(recording.samples.data(), body, recording.samples.size() * sizeof(float));
            break;
        }
        at += 8 + qsizetype(size) + (size & 1);
    }
    return recording;
}

} // namespace varno::test
