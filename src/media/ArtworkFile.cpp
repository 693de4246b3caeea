#include "ArtworkFile.h"

#include "media/ArtworkFileError.h"
#include "platform/Error.h"
#include "platform/FileError.h"
#include "platform/FileIO.h"
#include "platform/Worker.h"

#include <QBuffer>
#include <QFileInfo>
#include <QImageReader>
#include <QThreadPool>

#include <cerrno>

namespace varno {

void validateArtworkData(const QByteArray& data)
{
    if (data.isEmpty())
        throw ArtworkFileError::invalidImage();
    if (data.size() > kMaximumArtworkFileBytes)
        throw ArtworkFileError::fileTooLarge(kMaximumArtworkFileMegabytes);
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    // The header is enough for the dimensions: a picture too large to
    // decode safely is refused before anything is decoded.
    QImageReader reader(&buffer);
    reader.setDecideFormatFromContent(true);
    if (!reader.canRead())
        throw ArtworkFileError::invalidImage();
    const QSize size = reader.size();
    if (!size.isValid() || size.width() <= 0 || size.height() <= 0)
        throw ArtworkFileError::invalidImage();
    if (size.width() > kMaximumArtworkEdge || size.height() > kMaximumArtworkEdge
        || std::int64_t(size.width()) * size.height() > kMaximumArtworkPixels)
        throw ArtworkFileError::excessiveDimensions();
}

QCoro::Task<QByteArray> loadArtworkFile(FileURL url)
{
    auto work = runOn(QThreadPool::globalInstance(), [url] {
        try {
            const QString path = url.toLocalFile();
            const QFileInfo info(path);
            if (info.exists() && !info.isFile())
                throw ArtworkFileError::invalidImage();
            if (info.exists() && info.size() > kMaximumArtworkFileBytes)
                throw ArtworkFileError::fileTooLarge(kMaximumArtworkFileMegabytes);
            std::optional<fileio::FileBytes> bytes = fileio::readWholeFile(path, 0);
            if (!bytes)
                throw FileError(FileError::Operation::Read, path, ENOENT);
            QByteArray data(bytes->data(), static_cast<qsizetype>(bytes->size()));
            validateArtworkData(data);
            return data;
        } catch (const ArtworkFileError&) {
            throw;
        } catch (const std::exception& error) {
            throw ArtworkFileError::unreadable(describe(error));
        }
    });
    co_return co_await work;
}

} // namespace varno
