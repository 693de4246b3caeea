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

bool isOtherAudioPath(const QString& path)
{
    static const QStringList others = {
        QStringLiteral("opus"), QStringLiteral("ape"), QStringLiteral("wv"),   QStringLiteral("aif"),  QStringLiteral("aifc"),
        QStringLiteral("mpc"),  QStringLiteral("mp2"), QStringLiteral("mka"),  QStringLiteral("oga"),  QStringLiteral("spx"),
        QStringLiteral("tta"),  QStringLiteral("dsf"), QStringLiteral("dff"),  QStringLiteral("ac3"),  QStringLiteral("dts"),
        QStringLiteral("m4b"),  QStringLiteral("alac"), QStringLiteral("amr"), QStringLiteral("au"),   QStringLiteral("caf"),
        QStringLiteral("mid"),  QStringLiteral("midi"), QStringLiteral("weba"), QStringLiteral("webm"), QStringLiteral("m4p"),
    };
    const QString name = path.section(QLatin1Char('/'), -1);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot <= 0)
        return false;
    return others.contains(name.mid(dot + 1), Qt::CaseInsensitive);
}

QString unsupportedTypeReason()
{
    const QStringList& supported = supportedAudioExtensions();
    return QStringLiteral("the library takes only %1 and %2 files").arg(supported.mid(0, supported.size() - 1).join(QStringLiteral(", ")), supported.last());
}

} // namespace varno::AudioImportSupport
