#include "AudioPlaybackError.h"

namespace varno {

namespace {

QString pathOf(const FileURL& url)
{
    return url.isLocalFile() ? url.toLocalFile() : QString::fromUtf8(url.encoded());
}

} // namespace

AudioPlaybackError::AudioPlaybackError(Kind kind, const QString& description, FileURL url)
    : Error(description)
    , m_kind(kind)
    , m_url(std::move(url))
{
}

AudioPlaybackError AudioPlaybackError::missingFile(const FileURL& url)
{
    return {Kind::MissingFile, QStringLiteral("The audio file could not be found at %1.").arg(pathOf(url)), url};
}

AudioPlaybackError AudioPlaybackError::unreadableFile(const FileURL& url, const QString& underlying)
{
    return {Kind::UnreadableFile, QStringLiteral("The audio file at %1 could not be opened: %2").arg(pathOf(url), underlying), url};
}

AudioPlaybackError AudioPlaybackError::emptyFile(const FileURL& url)
{
    return {Kind::EmptyFile, QStringLiteral("The audio file at %1 does not contain any playable frames.").arg(pathOf(url)), url};
}

AudioPlaybackError AudioPlaybackError::invalidFormat(const FileURL& url)
{
    return {Kind::InvalidFormat, QStringLiteral("The audio file at %1 has an unsupported playback format.").arg(pathOf(url)), url};
}

AudioPlaybackError AudioPlaybackError::engineStartFailed(const QString& underlying)
{
    return {Kind::EngineStartFailed, QStringLiteral("The audio engine could not start: ") + underlying};
}

AudioPlaybackError AudioPlaybackError::audioEngineUnavailable()
{
    return {Kind::AudioEngineUnavailable, QStringLiteral("Playback is unavailable because the audio engine has not been connected.")};
}

AudioPlaybackError AudioPlaybackError::outputDeviceRoutingUnavailable()
{
    return {Kind::OutputDeviceRoutingUnavailable,
            QStringLiteral("Output device switching is not available in this version. Choose the output in your desktop's sound settings instead.")};
}

AudioPlaybackError AudioPlaybackError::outputDeviceMissing(const QString& device)
{
    return {Kind::OutputDeviceMissing,
            QStringLiteral("The output device \u201C%1\u201D is not connected; the system's default output is playing instead.").arg(device)};
}

} // namespace varno
