#include "ui/Icons.h"

#include <QApplication>
#include <QImage>
#include <QPalette>
#include <QPixmap>

#include <gtest/gtest.h>

namespace varno {
namespace {

int coveredPixels(const QImage& image)
{
    int covered = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            covered += qAlpha(image.pixel(x, y)) > 0 ? 1 : 0;
    }
    return covered;
}

TEST(Icons, EverySymbolHasABundledGlyphThatDrawsSomething)
{
    for (const QString& symbol : knownSymbols()) {
        SCOPED_TRACE(symbol.toStdString());
        const QImage image = symbolIcon(symbol).pixmap(32, 32).toImage();
        ASSERT_FALSE(image.isNull());
        const int covered = coveredPixels(image);
        EXPECT_GT(covered, 20);
        EXPECT_LT(covered, 32 * 32);
    }
}

TEST(Icons, GlyphsTakeThePaletteTextColourOrTheOneAsked)
{
    const QColor text = QApplication::palette().color(QPalette::Normal, QPalette::ButtonText);
    const QImage plain = symbolIcon(u"pause.fill").pixmap(24, 24).toImage();
    const QRgb centreOfBar = plain.pixel(8, 12);
    EXPECT_EQ(qRed(centreOfBar), text.red());
    EXPECT_EQ(qAlpha(centreOfBar), 255);

    const QImage red = symbolIcon(u"heart.fill", QColor(Qt::red)).pixmap(24, 24).toImage();
    EXPECT_EQ(QColor(red.pixel(12, 12)).rgb(), QColor(Qt::red).rgb());
}

TEST(Icons, CutOutsInFilledGlyphsStayTransparent)
{
    // The exclamation mark inside the warning triangle is cut out of it.
    const QImage image = symbolIcon(u"exclamationmark.triangle.fill").pixmap(48, 48).toImage();
    EXPECT_EQ(qAlpha(image.pixel(24, 24)), 0);
    EXPECT_EQ(qAlpha(image.pixel(24, 38)), 255);
}

TEST(Icons, TableNamesFreedesktopIconsAndRefusesUnknownSymbols)
{
    EXPECT_EQ(themeIconName(u"play.fill"), QStringLiteral("media-playback-start"));
    EXPECT_EQ(themeIconName(u"heart"), QString());
    EXPECT_EQ(bundledIconPath(u"no.such.symbol"), QString());
    EXPECT_FALSE(symbolIcon(u"no.such.symbol").pixmap(16, 16).isNull());
}

} // namespace
} // namespace varno
