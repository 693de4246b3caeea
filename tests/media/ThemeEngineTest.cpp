#include "TestSupport.h"

#include "media/OstrelThemeEngine.h"
#include "platform/SettingsPreferencesStore.h"

#include <QBuffer>
#include <QImage>
#include <QSignalSpy>

using namespace varno;
using test::await;

namespace {

QByteArray solid(QColor colour, QSize size = QSize(16, 16))
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

class ThemeEngineTest : public test::DataFolderTest {
protected:
    SettingsPreferencesStore preferences;
};

} // namespace

TEST_F(ThemeEngineTest, AccentIsTheMeanColourLiftedWhenDark)
{
    OstrelThemeEngine engine;
    struct Case {
        QByteArray image;
        StudioColor expected;
    };
    // Half black, half white averages 128 (127.5 rounded), which is not dark.
    QImage halves(QSize(2, 1), QImage::Format_RGB32);
    halves.setPixelColor(0, 0, Qt::black);
    halves.setPixelColor(1, 0, Qt::white);
    QByteArray halvesBytes;
    QBuffer buffer(&halvesBytes);
    buffer.open(QIODevice::WriteOnly);
    halves.save(&buffer, "PNG");
    const Case cases[] = {
        {solid(Qt::black), {0.3, 0.3, 0.35, 1.0}},
        {solid(Qt::white), {1.0, 1.0, 1.0, 1.0}},
        {solid(QColor(51, 51, 51)), {51 / 255.0 + 0.3, 51 / 255.0 + 0.3, 51 / 255.0 + 0.35, 1.0}},
        {solid(QColor(128, 128, 128)), {128 / 255.0, 128 / 255.0, 128 / 255.0, 1.0}},
        {solid(QColor(0, 0, 255)), {0.3, 0.3, 1.0, 1.0}},
        {halvesBytes, {128 / 255.0, 128 / 255.0, 128 / 255.0, 1.0}},
        {QByteArray(), {0.5, 0.5, 0.55, 1.0}},
        {QByteArray("no picture"), {0.5, 0.55, 0.6, 1.0}},
    };
    QSignalSpy published(&engine, &ThemeEngine::configurationChanged);
    for (const Case& c : cases) {
        const StudioColor accent = await(engine.extractAccentColor(c.image));
        EXPECT_NEAR(accent.r, c.expected.r, 1e-12);
        EXPECT_NEAR(accent.g, c.expected.g, 1e-12);
        EXPECT_NEAR(accent.b, c.expected.b, 1e-12);
        EXPECT_EQ(accent.alpha, 1.0);
    }
    EXPECT_EQ(published.size(), 0);
    // A large picture decoded at a fraction of its size keeps its mean.
    EXPECT_EQ(await(engine.extractAccentColor(solid(QColor(200, 100, 50), QSize(3000, 2000)))), OstrelThemeEngine::accentFromMean(200, 100, 50));
}

TEST_F(ThemeEngineTest, ReduceMotionHoldsAnimationsOffUntilTurnedOff)
{
    OstrelThemeEngine engine;
    QSignalSpy published(&engine, &ThemeEngine::configurationChanged);
    engine.setReduceMotion(true);
    engine.updateTheme([](ThemeConfiguration& c) {
        c.animationSpeedMultiplier = 2.0;
        c.roundedCorners = 12;
    });
    EXPECT_EQ(engine.currentConfiguration().animationSpeedMultiplier, 0.0);
    EXPECT_EQ(engine.currentConfiguration().roundedCorners, 12.0);
    engine.resetToDefaults();
    EXPECT_EQ(engine.currentConfiguration().animationSpeedMultiplier, 0.0);
    EXPECT_EQ(engine.currentConfiguration().accentColor, kResetAccent);
    engine.setReduceMotion(false);
    EXPECT_EQ(engine.currentConfiguration().animationSpeedMultiplier, 1.0);
    EXPECT_EQ(published.size(), 4);
    EXPECT_EQ(published.last().at(0).value<ThemeConfiguration>(), engine.currentConfiguration());
}

TEST_F(ThemeEngineTest, TheChosenAppearanceSurvivesARestart)
{
    {
        OstrelThemeEngine engine(&preferences);
        EXPECT_EQ(engine.currentConfiguration(), ThemeConfiguration {});
        engine.setReduceMotion(true);
        engine.updateTheme([](ThemeConfiguration& c) {
            c.accentColor = {0.1, 0.2, 0.3, 1.0};
            c.isCompactMode = true;
            c.animationSpeedMultiplier = 1.5;
            c.fontSizeScale = 1.25;
            c.useDynamicAccent = false;
            c.manualAccentColor = {0.9, 0.1, 0.2, 1.0};
        });
    }
    OstrelThemeEngine restarted(&preferences);
    ThemeConfiguration expected;
    expected.accentColor = {0.1, 0.2, 0.3, 1.0};
    expected.isCompactMode = true;
    expected.animationSpeedMultiplier = 1.5;
    expected.fontSizeScale = 1.25;
    expected.useDynamicAccent = false;
    expected.manualAccentColor = {0.9, 0.1, 0.2, 1.0};
    EXPECT_EQ(restarted.currentConfiguration(), expected);

    // Values out of range fall back one by one; a value that does not read
    // at all gives the defaults.
    preferences.setValue(OstrelThemeEngine::kPreferenceKey,
                         R"({"accentColor":{"r":7,"g":0.5},"roundedCorners":-3,"fontSizeScale":1.5,"isCompactMode":true,"extra":[1]})");
    ThemeConfiguration partly;
    partly.accentColor.r = 0.5;
    partly.fontSizeScale = 1.5;
    partly.isCompactMode = true;
    EXPECT_EQ(OstrelThemeEngine(&preferences).currentConfiguration(), partly);
    preferences.setValue(OstrelThemeEngine::kPreferenceKey, R"({"isCompactMode":"yes")");
    EXPECT_EQ(OstrelThemeEngine(&preferences).currentConfiguration(), ThemeConfiguration {});
}
