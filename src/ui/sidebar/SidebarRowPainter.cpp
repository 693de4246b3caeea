#include "SidebarRowPainter.h"

#include "ui/Icons.h"
#include "ui/ThemeApplier.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>
#include <QPen>

namespace varno::sidebar {

QColor backgroundColor(const QPalette& palette)
{
    return palette.color(QPalette::Window).darker(125);
}

QColor selectionColor(const QPalette& palette)
{
    QColor accent = palette.color(QPalette::Highlight);
    accent.setAlphaF(0.28);
    return accent;
}

QColor hoverColor(const QPalette& palette)
{
    QColor hover = palette.color(QPalette::WindowText);
    hover.setAlphaF(0.06);
    return hover;
}

QRect disclosureRect(const QRect& rect)
{
    const int side = 16;
    return QRect(rect.right() - 6 - side, rect.center().y() - side / 2 + 1, side, side);
}

void paintRow(QPainter& painter, const QRect& rect, const QPalette& palette, const QFont& font, const RowLook& look)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF fillRect = QRectF(rect).adjusted(0, 1, 0, -1);
    if (look.selected || look.hovered) {
        QPainterPath path;
        path.addRoundedRect(fillRect, ThemeApplier::shownCornerRadius(6), ThemeApplier::shownCornerRadius(6));
        painter.fillPath(path, look.selected ? selectionColor(palette) : hoverColor(palette));
    }

    if (look.dropTarget) {
        QPainterPath path;
        path.addRoundedRect(fillRect.adjusted(0.75, 0.75, -0.75, -0.75), ThemeApplier::shownCornerRadius(6), ThemeApplier::shownCornerRadius(6));
        painter.fillPath(path, selectionColor(palette));
        painter.setPen(QPen(palette.color(QPalette::Highlight), 1.5));
        painter.drawPath(path);
    }

    const QIcon::Mode mode = look.enabled ? QIcon::Normal : QIcon::Disabled;
    const QRect iconRect(rect.left() + 8, rect.center().y() - kIconSize / 2 + 1, kIconSize, kIconSize);
    if (!look.icon.isNull())
        look.icon.paint(&painter, iconRect, Qt::AlignCenter, mode);

    int textRight = rect.right() - 8;
    if (look.disclosure != RowLook::Disclosure::None) {
        const QRect chevron = disclosureRect(rect);
        const QColor dimmed = palette.color(QPalette::PlaceholderText).lighter(125);
        const QIcon glyph = symbolIcon(look.disclosure == RowLook::Disclosure::Expanded ? u"chevron.down" : u"chevron.right", dimmed);
        glyph.paint(&painter, chevron.adjusted(2, 2, -2, -2), Qt::AlignCenter, mode);
        textRight = chevron.left() - 4;
    }

    painter.setFont(font);
    painter.setPen(palette.color(look.enabled ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
    const QRect textRect(iconRect.right() + 9, rect.top(), textRight - iconRect.right() - 9, rect.height());
    const QString text = QFontMetrics(font).elidedText(look.text, Qt::ElideRight, textRect.width());
    painter.drawText(textRect, Qt::AlignVCenter | Qt::AlignLeft, text);
    painter.restore();
}

void paintDropLine(QPainter& painter, const QRect& rect, int y, const QPalette& palette)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor accent = palette.color(QPalette::Highlight);
    painter.setPen(QPen(accent, 2, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(rect.left() + 10, y), QPointF(rect.right() - 4, y));
    painter.setBrush(accent);
    painter.drawEllipse(QPointF(rect.left() + 6, y), 3, 3);
    painter.restore();
}

QFont captionFont(const QFont& base)
{
    QFont font = base;
    font.setPointSizeF(base.pointSizeF() * 0.78);
    font.setWeight(QFont::DemiBold);
    font.setLetterSpacing(QFont::AbsoluteSpacing, 0.8);
    return font;
}

} // namespace varno::sidebar
