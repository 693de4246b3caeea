#include "DarkPalette.h"

#include <QApplication>
#include <QStyleFactory>

namespace varno {

QPalette darkPalette()
{
    const QColor window(0x1e, 0x1e, 0x22);
    const QColor base(0x16, 0x16, 0x19);
    const QColor alternate(0x22, 0x22, 0x27);
    const QColor text(0xe8, 0xe8, 0xec);
    const QColor dimmed(0x80, 0x80, 0x88);
    const QColor accent(0x2f, 0x80, 0xed);

    QPalette p;
    p.setColor(QPalette::Window, window);
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Base, base);
    p.setColor(QPalette::AlternateBase, alternate);
    p.setColor(QPalette::ToolTipBase, alternate);
    p.setColor(QPalette::ToolTipText, text);
    p.setColor(QPalette::PlaceholderText, dimmed);
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::Button, alternate);
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::BrightText, Qt::white);
    p.setColor(QPalette::Link, accent);
    p.setColor(QPalette::Highlight, accent);
    p.setColor(QPalette::HighlightedText, Qt::white);
    for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(QPalette::Disabled, role, dimmed);
    return p;
}

void applyApplicationStyle()
{
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QApplication::setPalette(darkPalette());
}

} // namespace varno
