#include "SectionCaption.h"

#include <QLabel>

namespace varno {

QLabel* makeSectionCaption(const QString& title, QWidget* parent)
{
    auto* caption = new QLabel(title, parent);
    QFont font = caption->font();
    font.setPointSizeF(font.pointSizeF() * 0.8);
    font.setWeight(QFont::DemiBold);
    font.setLetterSpacing(QFont::AbsoluteSpacing, 1.2);
    caption->setFont(font);
    caption->setForegroundRole(QPalette::PlaceholderText);
    return caption;
}

} // namespace varno
