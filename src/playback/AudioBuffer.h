#pragma once

#include "playback/AudioFormat.h"

#include <QByteArray>

#include <cstdint>

namespace varno {

// One buffer handed out by the decoder.
struct AudioBuffer {
    QByteArray pcmData;
    AudioFormat format;
    std::int64_t frameCount = 0;
};

} // namespace varno
