#include "DropOverlay.h"

#include "ui/Icons.h"
#include "ui/ThemeApplier.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QPainter>
#include <QPainterPath>

namespace varno {

const QString DropOverlay::kDropText = QStringLiteral("Drop songs or folders here");

DropOverlay::DropOverlay(QWidget* target)
    : QWidget(target)
    , m_target(target)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setObjectName(QStringLiteral("dropOverlay"));
    hide();
    target->setAcceptDrops(true);
    target->installEventFilter(this);
}

std::vector<FileURL> droppedFileURLs(const QList<QUrl>& urls)
{
    std::vector<FileURL> files;
    for (const QUrl& url : urls) {
        if (url.isLocalFile())
            files.push_back(FileURL::fromLocalFile(url.toLocalFile()));
    }
    return files;
}

bool DropOverlay::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != m_target)
        return false;
    switch (event->type()) {
    case QEvent::DragEnter: {
        auto* drag = static_cast<QDragEnterEvent*>(event);
        if (drag->mimeData()->hasUrls()) {
            drag->acceptProposedAction();
            setTargeted(true);
            return true;
        }
        return false;
    }
    case QEvent::DragMove: {
        auto* drag = static_cast<QDragMoveEvent*>(event);
        if (drag->mimeData()->hasUrls()) {
            drag->acceptProposedAction();
            return true;
        }
        return false;
    }
    case QEvent::DragLeave:
        setTargeted(false);
        return false;
    case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(event);
        setTargeted(false);
        if (!drop->mimeData()->hasUrls())
            return false;
        drop->acceptProposedAction();
        std::vector<FileURL> files = droppedFileURLs(drop->mimeData()->urls());
        if (!files.empty())
            emit filesDropped(files);
        return true;
    }
    case QEvent::Resize:
        setGeometry(m_target->rect());
        return false;
    default:
        return false;
    }
}

void DropOverlay::setTargeted(bool targeted)
{
    if (targeted == isVisible())
        return;
    if (targeted) {
        setGeometry(m_target->rect());
        raise();
    }
    setVisible(targeted);
    emit dropTargetedChanged(targeted);
}

void DropOverlay::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor accent = palette().color(QPalette::Highlight);
    QColor fill = palette().color(QPalette::Window);
    fill.setAlphaF(0.86);
    const QRectF box = QRectF(rect()).adjusted(12, 12, -12, -12);
    QPainterPath path;
    path.addRoundedRect(box, ThemeApplier::shownCornerRadius(14), ThemeApplier::shownCornerRadius(14));
    painter.fillPath(path, fill);
    QPen pen(accent, 2, Qt::DashLine);
    pen.setDashPattern({6, 4});
    painter.setPen(pen);
    painter.drawPath(path);

    const QPixmap icon = symbolIcon(u"square.and.arrow.down", accent).pixmap(40, 40);
    const QPointF centre = box.center();
    painter.drawPixmap(QPointF(centre.x() - 20, centre.y() - 36), icon);
    QFont font = painter.font();
    font.setPointSizeF(font.pointSizeF() * 1.2);
    font.setWeight(QFont::DemiBold);
    painter.setFont(font);
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(QRectF(box.left(), centre.y() + 10, box.width(), 30), Qt::AlignHCenter | Qt::AlignTop, kDropText);
}

} // namespace varno
