#pragma once

#include "FakeArtworkCache.h"
#include "TestSupport.h"
#include "UiHarness.h"

#include "platform/Error.h"

#include <QBuffer>
#include <QFile>
#include <QImage>

namespace varno::test {

// The bytes of a small PNG of one colour.
inline QByteArray pngBytes(QColor colour, QSize size = QSize(8, 8))
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

// Files a user might pick as artwork: a picture, something that is not one,
// and a file over the 25 MB limit (sparse, so it costs no disk).
inline QString writePicture(const QString& path, QColor colour)
{
    writeFile(path, pngBytes(colour));
    return path;
}

inline QString writeNotAPicture(const QString& path)
{
    writeFile(path, "these are liner notes, not a cover");
    return path;
}

inline QString writeOversizedFile(const QString& path)
{
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.resize(26214400 + 1);
    return path;
}

} // namespace varno::test
