#pragma once

#include "platform/Error.h"
#include "storage/FileURL.h"

namespace varno {

// Why a song could not be played. The texts are shown as they stand in the
// player bar; "path" is the file URL's path.
class AudioPlaybackError final : public Error {
public:
    enum class Kind {
        MissingFile,
        UnreadableFile,
        EmptyFile,
        InvalidFormat,
        EngineStartFailed,
        AudioEngineUnavailable,
        OutputDeviceRoutingUnavailable,
        OutputDeviceMissing,
    };

    static AudioPlaybackError missingFile(const FileURL& url);
    // `underlying` is the opening library's own description.
    static AudioPlaybackError unreadableFile(const FileURL& url, const QString& underlying);
    static AudioPlaybackError emptyFile(const FileURL& url);
    static AudioPlaybackError invalidFormat(const FileURL& url);
    static AudioPlaybackError engineStartFailed(const QString& underlying);
    static AudioPlaybackError audioEngineUnavailable();
    static AudioPlaybackError outputDeviceRoutingUnavailable();
    // Not a failure to play: the chosen device is gone and the default one
    // plays instead. `device` is the name it was chosen by.
    static AudioPlaybackError outputDeviceMissing(const QString& device);

    Kind kind() const { return m_kind; }
    // Empty for the cases without a file.
    const FileURL& url() const { return m_url; }

private:
    AudioPlaybackError(Kind kind, const QString& description, FileURL url = {});

    Kind m_kind;
    FileURL m_url;
};

} // namespace varno
