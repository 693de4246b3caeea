#include "OstrelThemeEngine.h"

#include "media/ArtworkFile.h"
#include "platform/Worker.h"
#include "storage/Json.h"

#include <QBuffer>
#include <QImage>
#include <QImageReader>
#include <QThreadPool>

#include <algorithm>
#include <cmath>

namespace varno {

namespace {

// A stored number outside its range, or not a number, gives the default.
double within(double value, double low, double high, double fallback)
{
    return std::isfinite(value) && value >= low && value <= high ? value : fallback;
}

void writeColour(json::Writer& w, const StudioColor& colour)
{
    w.beginObject();
    w.key("r").number(colour.r);
    w.key("g").number(colour.g);
    w.key("b").number(colour.b);
    w.key("alpha").number(colour.alpha);
    w.endObject();
}

// Components out of range are skipped one by one, keeping the default.
void readColour(json::Value v, const json::Path& at, StudioColor& colour)
{
    json::forEachField(v, at, [&](std::string_view k, json::Value component, const json::Path& cp) {
        const double value = within(json::readDouble(component, cp), 0, 1, -1);
        if (value < 0)
            return;
        if (k == "r")
            colour.r = value;
        else if (k == "g")
            colour.g = value;
        else if (k == "b")
            colour.b = value;
        else if (k == "alpha")
            colour.alpha = value;
    });
}

std::string encodeConfiguration(const ThemeConfiguration& c, double chosenSpeed)
{
    std::string out;
    json::Writer w(out);
    w.beginObject();
    w.key("accentColor");
    writeColour(w, c.accentColor);
    w.key("roundedCorners").number(c.roundedCorners);
    w.key("animationSpeedMultiplier").number(chosenSpeed);
    w.key("fontSizeScale").number(c.fontSizeScale);
    w.key("isCompactMode").boolean(c.isCompactMode);
    w.key("panelTransparency").number(c.panelTransparency);
    w.key("useDynamicAccent").boolean(c.useDynamicAccent);
    w.key("manualAccentColor");
    writeColour(w, c.manualAccentColor);
    w.endObject();
    return out;
}

ThemeConfiguration decodeConfiguration(const QByteArray& bytes)
{
    const ThemeConfiguration defaults;
    ThemeConfiguration c;
    json::Document document(QByteArrayView(bytes), "appearance preference");
    json::forEachField(document.root(), document.path(), [&](std::string_view key, json::Value v, const json::Path& at) {
        if (key == "accentColor") {
            readColour(v, at, c.accentColor);
        } else if (key == "manualAccentColor") {
            readColour(v, at, c.manualAccentColor);
        } else if (key == "useDynamicAccent") {
            c.useDynamicAccent = json::readBool(v, at);
        } else if (key == "roundedCorners") {
            c.roundedCorners = within(json::readDouble(v, at), 0, 64, defaults.roundedCorners);
        } else if (key == "animationSpeedMultiplier") {
            c.animationSpeedMultiplier = within(json::readDouble(v, at), 0, 8, defaults.animationSpeedMultiplier);
        } else if (key == "fontSizeScale") {
            c.fontSizeScale = within(json::readDouble(v, at), 0.5, 3, defaults.fontSizeScale);
        } else if (key == "isCompactMode") {
            c.isCompactMode = json::readBool(v, at);
        } else if (key == "panelTransparency") {
            c.panelTransparency = within(json::readDouble(v, at), 0, 1, defaults.panelTransparency);
        }
    });
    document.expectEnd();
    return c;
}

} // namespace

OstrelThemeEngine::OstrelThemeEngine(PreferencesStore* preferences, QObject* parent)
    : ThemeEngine(parent)
    , m_preferences(preferences)
{
    if (!m_preferences)
        return;
    if (const std::optional<QByteArray> stored = m_preferences->value(kPreferenceKey)) {
        try {
            m_configuration = decodeConfiguration(*stored);
        } catch (const std::exception&) {
            m_configuration = ThemeConfiguration {};
        }
    }
}

void OstrelThemeEngine::publish(const ThemeConfiguration& configuration, double chosenSpeed)
{
    m_configuration = configuration;
    if (m_preferences) {
        const std::string encoded = encodeConfiguration(configuration, chosenSpeed);
        m_preferences->setValue(kPreferenceKey, QByteArray(encoded.data(), qsizetype(encoded.size())));
    }
    emit configurationChanged(m_configuration);
}

void OstrelThemeEngine::updateTheme(const std::function<void(ThemeConfiguration&)>& edit)
{
    ThemeConfiguration copy = m_configuration;
    edit(copy);
    // What the user chose is what is kept for the next run; reduce motion
    // only holds animations off while it is on.
    const double chosenSpeed = copy.animationSpeedMultiplier;
    if (m_baseReduceMotion)
        copy.animationSpeedMultiplier = 0;
    publish(copy, chosenSpeed);
}

void OstrelThemeEngine::resetToDefaults()
{
    ThemeConfiguration reset;
    reset.accentColor = kResetAccent;
    if (m_baseReduceMotion)
        reset.animationSpeedMultiplier = 0;
    publish(reset, 1.0);
}

void OstrelThemeEngine::setReduceMotion(bool on)
{
    m_baseReduceMotion = on;
    ThemeConfiguration copy = m_configuration;
    copy.animationSpeedMultiplier = on ? 0.0 : 1.0;
    publish(copy, 1.0);
}

StudioColor OstrelThemeEngine::accentFromMean(int red, int green, int blue)
{
    double r = red / 255.0;
    double g = green / 255.0;
    double b = blue / 255.0;
    // Rec. 709 luma: a dark cover is lifted so the accent stays visible on
    // the dark interface.
    const double luminance = 0.2126 * r + 0.7152 * g + 0.0722 * b;
    if (luminance < 0.25) {
        r = std::min(r + 0.3, 1.0);
        g = std::min(g + 0.3, 1.0);
        b = std::min(b + 0.35, 1.0);
    }
    return {r, g, b, 1.0};
}

StudioColor OstrelThemeEngine::accentColor(const QByteArray& imageData)
{
    if (imageData.isEmpty())
        return kInitialAccent;
    QBuffer buffer;
    buffer.setData(imageData);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setDecideFormatFromContent(true);
    const QSize size = reader.size();
    if (!reader.canRead() || !fitsArtworkLimits(size))
        return kResetAccent;
    // A large picture is decoded at a power-of-two fraction of its size,
    // which a JPEG decoder does by averaging blocks: the mean colour stays
    // what it is while the decode costs a fraction.
    int factor = 1;
    while (qint64(size.width() / (factor * 2)) * (size.height() / (factor * 2)) >= 1000000)
        factor *= 2;
    if (factor > 1)
        reader.setScaledSize(QSize(size.width() / factor, size.height() / factor));
    QImage image = reader.read();
    if (image.isNull())
        return kResetAccent;
    image.convertTo(QImage::Format_RGBA8888);
    std::uint64_t sums[3] = {0, 0, 0};
    for (int y = 0; y < image.height(); ++y) {
        const uchar* pixel = image.constScanLine(y);
        for (int x = 0; x < image.width(); ++x, pixel += 4) {
            sums[0] += pixel[0];
            sums[1] += pixel[1];
            sums[2] += pixel[2];
        }
    }
    const std::uint64_t count = std::uint64_t(image.width()) * std::uint64_t(image.height());
    const auto mean = [&](int channel) { return int((sums[channel] + count / 2) / count); };
    return accentFromMean(mean(0), mean(1), mean(2));
}

QCoro::Task<StudioColor> OstrelThemeEngine::extractAccentColor(QByteArray imageData)
{
    auto analysing = runOn(QThreadPool::globalInstance(), [imageData = std::move(imageData)] { return accentColor(imageData); });
    co_return co_await analysing;
}

} // namespace varno
