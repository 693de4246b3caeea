#include "Icons.h"

#include <QApplication>
#include <QFile>
#include <QHash>
#include <QIconEngine>
#include <QImage>
#include <QPainter>
#include <QPalette>
#include <QPixmapCache>

#include <optional>

// The resource initialiser must be named outside any namespace.
static void initIconResources()
{
    Q_INIT_RESOURCE(icons);
}

namespace varno {

namespace {

struct SymbolEntry {
    const char* symbol;
    // The freedesktop icon name, or nullptr.
    const char* themeName;
};

// clang-format off
constexpr SymbolEntry kSymbols[] = {
    {"play.fill", "media-playback-start"},
    {"pause.fill", "media-playback-pause"},
    {"backward.fill", "media-skip-backward"},
    {"forward.fill", "media-skip-forward"},
    {"shuffle", "media-playlist-shuffle"},
    {"repeat", "media-playlist-repeat"},
    {"repeat.1", "media-playlist-repeat-song"},
    {"list.bullet", "view-list"},
    {"music.note", "audio-x-generic"},
    {"music.note.list", "view-media-playlist"},
    {"waveform", nullptr},
    {"clock", "document-open-recent"},
    {"clock.arrow.circlepath", "document-open-recent"},
    {"star", "non-starred"},
    {"star.fill", "starred"},
    {"square.stack", nullptr},
    {"music.mic", nullptr},
    {"heart", nullptr},
    {"heart.fill", nullptr},
    {"plus", "list-add"},
    {"folder", "folder"},
    {"folder.fill", "folder"},
    {"folder.badge.plus", "folder-new"},
    {"sparkles", nullptr},
    {"pencil", "document-edit"},
    {"gearshape", "preferences-system"},
    {"xmark", "window-close"},
    {"info.circle", "help-about"},
    {"arrow.clockwise.circle.fill", "view-refresh"},
    {"arrow.counterclockwise", "edit-undo"},
    {"exclamationmark.triangle.fill", "dialog-warning"},
    {"checkmark.circle.fill", "emblem-ok"},
    {"circle", nullptr},
    {"square.and.arrow.down", "document-import"},
    {"square.and.arrow.down.on.square", "document-import"},
    {"speaker.fill", "audio-volume-high"},
    {"speaker.slash.fill", "audio-volume-muted"},
    {"speaker.wave.1.fill", "audio-volume-low"},
    {"speaker.wave.2.fill", "audio-volume-medium"},
    {"speaker.wave.3.fill", "audio-volume-high"},
    {"trash", "edit-delete"},
    {"photo.badge.plus", "insert-image"},
    {"photo.on.rectangle.angled", "image-x-generic"},
    {"lock.fill", "changes-prevent"},
    {"chevron.up", "go-up"},
    {"chevron.down", "go-down"},
    {"chevron.left", "go-previous"},
    {"chevron.right", "go-next"},
    {"sidebar.left", "view-left-pane"},
    {"sidebar.right", "view-right-pane"},
    {"magnifyingglass", "edit-find"},
    {"ellipsis", "view-more"},
    {"slider.horizontal.3", "configure"},
};
// clang-format on

const SymbolEntry* find(QStringView symbol)
{
    for (const SymbolEntry& entry : kSymbols) {
        if (symbol == QLatin1String(entry.symbol))
            return &entry;
    }
    return nullptr;
}

// The glyph itself, before tinting: the theme's icon (its symbolic form
// first) or the bundled SVG.
QIcon sourceIcon(QStringView symbol, bool& isBundled)
{
    isBundled = false;
    if (const SymbolEntry* entry = find(symbol); entry && entry->themeName && !QIcon::themeName().isEmpty()) {
        const QString name = QString::fromLatin1(entry->themeName);
        for (const QString& candidate : {name + QStringLiteral("-symbolic"), name}) {
            if (QIcon::hasThemeIcon(candidate))
                return QIcon::fromTheme(candidate);
        }
    }
    isBundled = true;
    const QString path = bundledIconPath(symbol);
    return QIcon(path.isEmpty() ? QStringLiteral(":/icons/circle.svg") : path);
}

// Draws the glyph as a mask in one colour. Bundled SVGs are black shapes
// with white cut-outs, so darkness becomes coverage; a theme's icon keeps
// its own alpha.
class TintedSymbolEngine final : public QIconEngine {
public:
    TintedSymbolEngine(QString symbol, std::optional<QColor> color)
        : m_symbol(std::move(symbol))
        , m_color(color)
    {
        m_source = sourceIcon(m_symbol, m_isBundled);
    }

    QIconEngine* clone() const override { return new TintedSymbolEngine(*this); }
    QString key() const override { return QStringLiteral("varno.symbol"); }

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override
    {
        const qreal ratio = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
        QPixmap image = scaledPixmap(rect.size(), mode, state, ratio);
        painter->drawPixmap(rect, image);
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override
    {
        return scaledPixmap(size, mode, state, 1.0);
    }

    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State, qreal scale) override
    {
        const QColor color = colorFor(mode);
        const QSize pixels = (QSizeF(size) * scale).toSize();
        if (pixels.isEmpty())
            return {};
        const QString cacheKey = QStringLiteral("varno.symbol/%1/%2x%3/%4")
                                     .arg(m_symbol)
                                     .arg(pixels.width())
                                     .arg(pixels.height())
                                     .arg(color.rgba());
        QPixmap cached;
        if (QPixmapCache::find(cacheKey, &cached))
            return cached;

        QImage glyph = m_source.pixmap(pixels).toImage().convertToFormat(QImage::Format_ARGB32);
        if (glyph.size() != pixels)
            glyph = glyph.scaled(pixels, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        QImage tinted(glyph.size(), QImage::Format_ARGB32_Premultiplied);
        const QRgb rgb = color.rgb();
        for (int y = 0; y < glyph.height(); ++y) {
            const QRgb* in = reinterpret_cast<const QRgb*>(glyph.constScanLine(y));
            QRgb* out = reinterpret_cast<QRgb*>(tinted.scanLine(y));
            for (int x = 0; x < glyph.width(); ++x) {
                int coverage = qAlpha(in[x]);
                if (m_isBundled)
                    coverage = coverage * (255 - qGray(in[x])) / 255;
                coverage = coverage * color.alpha() / 255;
                out[x] = qPremultiply(qRgba(qRed(rgb), qGreen(rgb), qBlue(rgb), coverage));
            }
        }
        QPixmap result = QPixmap::fromImage(std::move(tinted));
        result.setDevicePixelRatio(scale);
        QPixmapCache::insert(cacheKey, result);
        return result;
    }

private:
    QColor colorFor(QIcon::Mode mode) const
    {
        const QPalette palette = QApplication::palette();
        if (mode == QIcon::Disabled)
            return palette.color(QPalette::Disabled, QPalette::ButtonText);
        if (m_color)
            return *m_color;
        if (mode == QIcon::Selected)
            return palette.color(QPalette::HighlightedText);
        return palette.color(QPalette::Normal, QPalette::ButtonText);
    }

    QString m_symbol;
    std::optional<QColor> m_color;
    QIcon m_source;
    bool m_isBundled = true;
};

void ensureResources()
{
    static const bool loaded = [] {
        initIconResources();
        return true;
    }();
    Q_UNUSED(loaded);
}

} // namespace

QIcon symbolIcon(QStringView symbol)
{
    ensureResources();
    return QIcon(new TintedSymbolEngine(symbol.toString(), std::nullopt));
}

QIcon symbolIcon(QStringView symbol, const QColor& color)
{
    ensureResources();
    return QIcon(new TintedSymbolEngine(symbol.toString(), color));
}

QString themeIconName(QStringView symbol)
{
    const SymbolEntry* entry = find(symbol);
    return entry && entry->themeName ? QString::fromLatin1(entry->themeName) : QString();
}

QString bundledIconPath(QStringView symbol)
{
    ensureResources();
    if (!find(symbol))
        return {};
    return QStringLiteral(":/icons/%1.svg").arg(symbol);
}

QStringList knownSymbols()
{
    QStringList symbols;
    for (const SymbolEntry& entry : kSymbols)
        symbols.append(QString::fromLatin1(entry.symbol));
    return symbols;
}

} // namespace varno
