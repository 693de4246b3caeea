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

// Whether the name says audio of a kind the library does not take (".opus",
// ".ape", ".aif", ...): worth telling the user about when a folder holds
// them, unlike the covers and playlists beside the music.
bool isOtherAudioPath(const QString& path);

// Why such a file was left out: "the library takes only mp3, m4a, wav,
// flac, aac, ogg, wma and aiff files".
QString unsupportedTypeReason();

} // namespace varno::AudioImportSupport
