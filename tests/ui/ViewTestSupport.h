#pragma once

#include "TestSupport.h"

#include "playlists/PlaylistEngine.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDropEvent>
#include <QMimeData>
#include <QTest>
#include <QThread>
#include <QTreeWidget>
#include <QUrl>

#include <chrono>

namespace varno::test {

// Runs the event loop until `condition` holds; false when it still does not
// after `timeout`, which only bounds a hang and says nothing about speed.
template<typename Condition>
bool eventually(Condition&& condition, std::chrono::milliseconds timeout = std::chrono::seconds(20))
{
    QDeadlineTimer deadline(timeout);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::usleep(200);
    }
    return true;
}

// A left click in the middle of a row of an item view.
inline void clickRow(QAbstractItemView* view, const QModelIndex& index)
{
    view->scrollTo(index);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(index).center());
}

inline void clickItem(QTreeWidget* tree, QTreeWidgetItem* item)
{
    tree->scrollToItem(item);
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(item).center());
}

// Files dragged onto `target` and dropped, as the desktop delivers them.
inline void dropFiles(QWidget* target, const QStringList& paths)
{
    QList<QUrl> urls;
    for (const QString& path : paths)
        urls.append(QUrl::fromLocalFile(path));
    QMimeData mime;
    mime.setUrls(urls);
    const QPoint at = target->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    QDropEvent drop(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
}

// The composition root looks at its state folder once the folder has been
// quiet for 250 ms, checking on workers whether another process wrote the
// library or the playlists. A container destroyed while such a check is out
// leaves the check suspended for good, so a test that wrote state lets the
// look happen and finish before it tears the container down.
inline void letStateFolderSettle(PlaylistEngine& playlists)
{
    QTest::qWait(400);
    await(playlists.waitForPendingOperations());
    QTest::qWait(20);
}

} // namespace varno::test
