#pragma once

#include "platform/FileIO.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

#include <optional>

namespace varno {

// The picture lying beside a song's file that serves as its cover when the
// song has none of its own: "cover", "folder", "front", "album" or
// "albumart" in any case, ending in .jpg, .jpeg, .png, .webp or .bmp, in that
// order of preference; else the folder's only picture. A picture over the
// limits of a picked artwork file (media/ArtworkFile.h), or one that is not
// an image at all, is passed over for the next.
//
// Many songs share a folder, so a folder is listed once and its answer kept
// until its entries change (its modification time moves) or forget() is
// called. The picture itself is read for every request, so one rewritten in
// place is seen at once.
//
// Blocking and not thread-safe: the artwork cache uses it on its one serial
// worker only.
class FolderCoverFinder {
public:
    // The cover for the songs of `folder`, read and checked.
    std::optional<QByteArray> coverIn(const QString& folder);

    // The next request for `folder` lists it again.
    void forget(const QString& folder);
    void forgetAll();

    // Whether a file of this name could be a folder's cover.
    static bool isPictureName(QStringView fileName);
    // Of a folder's picture files, those worth trying as its cover, best
    // first.
    static QStringList candidates(const QStringList& pictureNames);

private:
    struct Answer {
        fileio::FileVersion folderVersion;
        std::optional<QString> picture;
    };

    QHash<QString, Answer> m_answers;
};

} // namespace varno
