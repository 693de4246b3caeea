#pragma once

#include <QByteArray>
#include <QString>

namespace varno {

// The image format of encoded picture bytes, from their signature: "jpeg",
// "png", "gif", "bmp", "webp", "tiff", or "unknown". Never decodes.
QString imageTypeOf(const QByteArray& bytes);

} // namespace varno
