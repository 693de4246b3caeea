#include "EditorChrome.h"

#include "platform/Worker.h"
#include "ui/Icons.h"

#include <QBuffer>
#include <QImageReader>
#include <QLabel>
#include <QPushButton>
#include <QThreadPool>
#include <QToolButton>

namespace varno {

namespace {

const QColor kErrorColor(0xff, 0x5f, 0x57);

QImage decodeScaled(const QByteArray& data, int side)
{
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    // Readers that can (JPEG) decode straight at the smaller size.
    const QSize full = reader.size();
    if (full.isValid() && (full.width() > side || full.height() > side))
        reader.setScaledSize(full.scaled(side, side, Qt::KeepAspectRatioByExpanding));
    QImage image = reader.read();
    if (!image.isNull() && (image.width() > side * 2 || image.height() > side * 2))
        image = image.scaled(side, side, Qt::KeepAspectRatioByExpanding, Qt::SmoothTransformation);
    return image;
}

} // namespace

QLabel* makeSheetTitle(const QString& text, QWidget* parent)
{
    auto* title = new QLabel(text, parent);
    title->setObjectName(QStringLiteral("sheetTitle"));
    QFont font = title->font();
    font.setPointSizeF(font.pointSizeF() * 1.25);
    font.setWeight(QFont::DemiBold);
    title->setFont(font);
    return title;
}

QLabel* makeCaption(const QString& text, QWidget* parent)
{
    auto* caption = new QLabel(text.toUpper(), parent);
    QFont font = caption->font();
    font.setPointSizeF(font.pointSizeF() * 0.82);
    font.setWeight(QFont::DemiBold);
    font.setLetterSpacing(QFont::AbsoluteSpacing, 0.8);
    caption->setFont(font);
    caption->setForegroundRole(QPalette::PlaceholderText);
    return caption;
}

QLabel* makeErrorLabel(const QString& objectName, QWidget* parent)
{
    auto* label = new QLabel(parent);
    label->setObjectName(objectName);
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    QPalette errorPalette = label->palette();
    errorPalette.setColor(QPalette::WindowText, kErrorColor);
    label->setPalette(errorPalette);
    label->hide();
    return label;
}

void showError(QLabel* label, const std::optional<QString>& message)
{
    label->setText(message.value_or(QString()));
    label->setVisible(message.has_value());
}

QToolButton* makeCloseButton(const QString& accessibleName, QWidget* parent)
{
    auto* close = new QToolButton(parent);
    close->setObjectName(QStringLiteral("sheetClose"));
    close->setIcon(symbolIcon(u"xmark"));
    close->setIconSize(QSize(14, 14));
    close->setAutoRaise(true);
    close->setFixedSize(26, 26);
    close->setAccessibleName(accessibleName);
    close->setToolTip(accessibleName);
    return close;
}

void makeProminent(QPushButton* button)
{
    QPalette prominent = button->palette();
    prominent.setColor(QPalette::Button, prominent.color(QPalette::Highlight));
    prominent.setColor(QPalette::ButtonText, prominent.color(QPalette::HighlightedText));
    button->setPalette(prominent);
    QFont font = button->font();
    font.setWeight(QFont::DemiBold);
    button->setFont(font);
}

QCoro::Task<QImage> decodeArtworkPreview(QByteArray data, int side)
{
    auto decoding = runOn(QThreadPool::globalInstance(), [data = std::move(data), side] { return decodeScaled(data, side); });
    co_return co_await std::move(decoding);
}

} // namespace varno
