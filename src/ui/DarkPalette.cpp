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
    // The bevel shades follow the dark window. Left at Qt's defaults they
    // are near white, and Fusion draws disabled text over a white "etched"
    // copy of itself, which made disabled menu items read as enabled.
    p.setColor(QPalette::Light, QColor(0x3a, 0x3a, 0x42));
    p.setColor(QPalette::Midlight, QColor(0x2c, 0x2c, 0x33));
    p.setColor(QPalette::Mid, QColor(0x19, 0x19, 0x1d));
    p.setColor(QPalette::Dark, QColor(0x10, 0x10, 0x13));
    p.setColor(QPalette::Shadow, QColor(0x08, 0x08, 0x0a));
    const QColor disabledText(0x6e, 0x6e, 0x76);
    for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(QPalette::Disabled, role, disabledText);
    p.setColor(QPalette::Disabled, QPalette::Light, window);
    p.setColor(QPalette::Disabled, QPalette::Button, window);
    p.setColor(QPalette::Disabled, QPalette::Highlight, QColor(0x3a, 0x3a, 0x42));
    p.setColor(QPalette::Disabled, QPalette::PlaceholderText, disabledText.darker(120));
    return p;
}

void applyApplicationStyle()
{
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QApplication::setPalette(darkPalette());
}

} // namespace varno
