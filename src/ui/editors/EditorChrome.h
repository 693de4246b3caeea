#pragma once

#include <QByteArray>
#include <QCoroTask>
#include <QImage>
#include <QString>

#include <functional>
#include <optional>

class QBoxLayout;
class QDialog;
class QLabel;
class QPushButton;
class QToolButton;
class QWidget;

namespace varno {

class ArtworkTile;
class FileURL;

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

// The sheet's bottom row, right-aligned: Cancel, then the confirming button
// in the accent colour. Ctrl+Return and Ctrl+Enter confirm too; with
// `ctrlEscapeCancels`, Ctrl+Escape cancels (and Cancel says so).
struct SheetButtons {
    QPushButton* cancel = nullptr;
    QPushButton* confirm = nullptr;
};
SheetButtons addSheetButtons(QDialog* sheet, QBoxLayout* layout, const QString& confirmText, const QString& confirmObjectName,
                             bool ctrlEscapeCancels, const std::function<void()>& confirm);

// A chosen image file read within the artwork limits: its bytes, or the
// message saying why it cannot be used.
struct PickedArtwork {
    std::optional<QByteArray> data;
    std::optional<QString> failure;
};
QCoro::Task<PickedArtwork> readPickedArtwork(FileURL file);

// Shows the artwork bytes in `preview` once decoded at `side` pixels, or
// clears it for none. Only the latest request for a preview is shown: an
// earlier, larger image may finish decoding after a later choice.
void showArtworkPreview(ArtworkTile* preview, std::optional<QByteArray> data, int side);

// A picture of the artwork bytes no larger than `side` pixels square,
// decoded on a worker (a 25 MB image must not hold the window); a null
// image when the bytes are not a picture.
QCoro::Task<QImage> decodeArtworkPreview(QByteArray data, int side);

} // namespace varno
