#pragma once

#include "storage/FileURL.h"

#include <QWidget>

#include <vector>

class QDragEnterEvent;
class QDropEvent;

namespace varno {

// Makes a view a drop target for files and folders. While they are dragged
// over the view it draws, over the whole view, a rounded rectangle with a
// dashed outline, the symbol "square.and.arrow.down" and "Drop songs or
// folders here"; on drop it emits the URLs of the items (items that are not
// local are skipped). Install it on the view; it sizes itself to the view.
class DropOverlay final : public QWidget {
    Q_OBJECT

public:
    static const QString kDropText;

    explicit DropOverlay(QWidget* target);

    bool isDropTargeted() const { return isVisible(); }

signals:
    void filesDropped(const std::vector<varno::FileURL>& urls);
    void dropTargetedChanged(bool targeted);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void setTargeted(bool targeted);

    QWidget* m_target;
};

// The local files among dropped URLs, in order.
std::vector<FileURL> droppedFileURLs(const QList<QUrl>& urls);

} // namespace varno
