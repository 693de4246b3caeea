#pragma once

#include <QByteArray>
#include <QCoroTask>
#include <QImage>
#include <QString>

#include <optional>

class QLabel;
class QPushButton;
class QToolButton;
class QWidget;

namespace varno {

// The pieces every editor sheet is drawn with, so the three sheets and the
// smart-playlist sheet look like one family. Main thread only, except
// decodeArtworkPreview's work.

// The sheet's heading, large and semi-bold.
QLabel* makeSheetTitle(const QString& text, QWidget* parent);
// A small, dimmed, spaced caption above a field or a section ("TITLE").
QLabel* makeCaption(const QString& text, QWidget* parent);
// A red, wrapping message line, hidden while it has no text.
QLabel* makeErrorLabel(const QString& objectName, QWidget* parent);
void showError(QLabel* label, const std::optional<QString>& message);
// The "xmark" button at the sheet's top corner.
QToolButton* makeCloseButton(const QString& accessibleName, QWidget* parent);
// The sheet's main action, drawn in the accent colour.
void makeProminent(QPushButton* button);

// A picture of the artwork bytes no larger than `side` pixels square,
// decoded on a worker (a 25 MB image must not hold the window); a null
// image when the bytes are not a picture.
QCoro::Task<QImage> decodeArtworkPreview(QByteArray data, int side);

} // namespace varno
