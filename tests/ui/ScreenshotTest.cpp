#include "TestSupport.h"
#include "UiHarness.h"

#include "screenshots/DemoLibrary.h"
#include "screenshots/ScreenCapture.h"
#include "ui/MainWindow.h"
#include "ui/window/MainLayoutView.h"

#include <QImage>
#include <QTest>

#include <gtest/gtest.h>

namespace varno {
namespace {

using test::await;

class ScreenshotTest : public test::DataFolderTest {};

// Each main screen, captured as the screenshots program does, must show
// something: a window that failed to draw its rows or panels comes out
// nearly one colour.
TEST_F(ScreenshotTest, EveryMainScreenCapturesWithContent)
{
    test::UiHarness ui;
    const std::unique_ptr<MainWindow> shown = ui.openMainWindow(test::UiHarness::Readiness::Exposed);
    MainWindow& window = *shown;

    const QString empty = scratch(QStringLiteral("empty.png"));
    screenshots::saveCapture(window, empty);
    EXPECT_LT(screenshots::dominantColourShare(QImage(empty)), screenshots::kMostlyOneColour);

    const QString music = scratch(QStringLiteral("music"));
    screenshots::writeDemoMusic(music, 30, 3.0);
    await(screenshots::fillDemoLibrary(*ui.container, music));
    ui.container->queueEngine().playNow(ui.container->libraryEngine().allTracks(), 2);

    const QString shots = scratch(QStringLiteral("shots"));
    QDir().mkpath(shots);
    QStringList written = await(screenshots::captureMainScreens(window, shots));
    ASSERT_EQ(written.size(), 4);
    written << await(screenshots::captureFolderPlaylist(window, shots));
    ASSERT_EQ(written.size(), 5);
    for (const QString& path : written) {
        SCOPED_TRACE(path.toStdString());
        const QImage image(path);
        ASSERT_FALSE(image.isNull());
        EXPECT_EQ(image.size(), window.size());
        EXPECT_LT(screenshots::dominantColourShare(image), screenshots::kMostlyOneColour);
    }
    // A blank capture is caught.
    QImage blank(window.size(), QImage::Format_RGB32);
    blank.fill(QColor(0x1e, 0x1e, 0x22));
    EXPECT_GT(screenshots::dominantColourShare(blank), screenshots::kMostlyOneColour);
}

} // namespace
} // namespace varno
