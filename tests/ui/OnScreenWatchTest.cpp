// Whether a widget can be seen, as the views that skip work out of sight ask
// it: its window shown, not minimised, and the widget itself shown.

#include "TestSupport.h"

#include "ui/OnScreenWatch.h"

#include <QSignalSpy>
#include <QTest>
#include <QWidget>

using namespace varno;

TEST(OnScreenWatch, followsTheWidgetAndItsWindowOutOfSightAndBack)
{
    QWidget window;
    window.resize(300, 200);
    auto* part = new QWidget(&window);
    part->setGeometry(10, 10, 100, 50);
    OnScreenWatch watch(*part);
    QSignalSpy changes(&watch, &OnScreenWatch::onScreenChanged);
    EXPECT_FALSE(watch.isOnScreen());

    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    EXPECT_TRUE(watch.isOnScreen());

    part->hide();
    EXPECT_FALSE(watch.isOnScreen());
    part->show();
    EXPECT_TRUE(watch.isOnScreen());

    window.showMinimized();
    ASSERT_TRUE(test::waitUntil([&] { return !watch.isOnScreen(); }));
    window.showNormal();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    EXPECT_TRUE(test::waitUntil([&] { return watch.isOnScreen(); }));

    window.hide();
    EXPECT_FALSE(watch.isOnScreen());

    // One signal for each change, none for events that changed nothing.
    std::vector<bool> seen;
    for (const QList<QVariant>& change : changes)
        seen.push_back(change.at(0).toBool());
    EXPECT_EQ(seen, std::vector<bool>({true, false, true, false, true, false}));
}
