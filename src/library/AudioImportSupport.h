#pragma once

#include "storage/FileURL.h"

#include <QString>
#include <QStringList>

// Which files the library accepts as audio: by extension, in any letter case.
namespace varno::AudioImportSupport {

// "mp3", "m4a", "wav", "flac", "aac", "ogg", "wma", "aiff", in that order.
const QStringList& supportedAudioExtensions();

// False for a folder URL (ending in '/'); otherwise whether the last path
// component's extension, lower-cased, is supported. Does not look at the disk:
// a folder named "album.flac" passes, so enumerations also check for folders.
bool isSupportedAudioURL(const FileURL& url);
bool isSupportedAudioPath(const QString& path);

} // namespace varno::AudioImportSupport
