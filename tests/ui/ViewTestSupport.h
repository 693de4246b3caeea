#pragma once

#include "TestSupport.h"
#include "UiHarness.h"

#include "playlists/PlaylistEngine.h"
#include "ui/DarkPalette.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QColor>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDropEvent>
#include <QMimeData>
#include <QStyle>
#include <QStyleFactory>
#include <QTest>
#include <QThread>
#include <QTreeWidget>
#include <QUrl>

#include <chrono>
#include <cstdlib>

namespace varno::test {

// How far apart two colours look: the sum of the channel differences.
inline int colourDistance(const QColor& a, const QColor& b)
{
    return std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) + std::abs(a.blue() - b.blue());
}

// The application's own look (Fusion and the dark palette) for as long as
// it lives; the tests otherwise draw with Qt's defaults. What was there
// before comes back afterwards.
class ApplicationLook final {
public:
    ApplicationLook()
        : m_palette(QApplication::palette())
        , m_style(QApplication::style()->name())
    {
        applyApplicationStyle();
    }
    ~ApplicationLook()
    {
        QApplication::setStyle(QStyleFactory::create(m_style));
        QApplication::setPalette(m_palette);
    }
    ApplicationLook(const ApplicationLook&) = delete;
    ApplicationLook& operator=(const ApplicationLook&) = delete;

private:
    QPalette m_palette;
    QString m_style;
};

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

} // namespace varno::test
