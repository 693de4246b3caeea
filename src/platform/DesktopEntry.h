#pragma once

#include <QString>
#include <QStringList>

namespace varno {

// The names the desktop knows the app by: the desktop entry
// ("org.varno.Music.desktop"), its icon and AppStream component share this id.
inline const QString kDesktopEntryID = QStringLiteral("org.varno.Music");

// The MIME types of the eight audio formats the library takes, as the
// desktop entry lists them for "Open With".
inline QStringList supportedAudioMimeTypes()
{
    return {QStringLiteral("audio/mpeg"),        QStringLiteral("audio/mp4"),     QStringLiteral("audio/x-m4a"),
            QStringLiteral("audio/x-wav"),       QStringLiteral("audio/wav"),     QStringLiteral("audio/flac"),
            QStringLiteral("audio/x-flac"),      QStringLiteral("audio/aac"),     QStringLiteral("audio/ogg"),
            QStringLiteral("audio/x-vorbis+ogg"), QStringLiteral("audio/x-ms-wma"), QStringLiteral("audio/x-aiff")};
}

} // namespace varno
