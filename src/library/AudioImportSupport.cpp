#include "AudioImportSupport.h"

namespace varno::AudioImportSupport {

const QStringList& supportedAudioExtensions()
{
    static const QStringList extensions = {QStringLiteral("mp3"), QStringLiteral("m4a"), QStringLiteral("wav"), QStringLiteral("flac"),
                                           QStringLiteral("aac"), QStringLiteral("ogg"), QStringLiteral("wma"), QStringLiteral("aiff")};
    return extensions;
}

bool isSupportedAudioPath(const QString& path)
{
    if (path.endsWith(QLatin1Char('/')))
        return false;
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
    // A name that only starts with a dot (".mp3") has no extension.
    if (dot <= slash + 1)
        return false;
    const QStringView extension = QStringView(path).mid(dot + 1);
    for (const QString& supported : supportedAudioExtensions()) {
        if (extension.compare(supported, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

bool isSupportedAudioURL(const FileURL& url)
{
    if (url.encoded().endsWith('/'))
        return false;
    return isSupportedAudioPath(url.toLocalFile());
}

} // namespace varno::AudioImportSupport
