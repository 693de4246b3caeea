#pragma once

namespace varno {

// The sample layout of decoded audio.
struct AudioFormat {
    double sampleRate = 0;
    int channelCount = 0;
    int bitDepth = 0;
    bool isInterleaved = false;

    friend bool operator==(const AudioFormat&, const AudioFormat&) = default;
};

} // namespace varno
