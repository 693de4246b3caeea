#include "EditorChrome.h"

#include "media/ArtworkFile.h"
#include "platform/Error.h"
#include "platform/Worker.h"
#include "ui/Icons.h"
#include "ui/player/ArtworkTile.h"

#include <QBoxLayout>
#include <QBuffer>
#include <QDialog>
#include <QImageReader>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QShortcut>
#include <QThreadPool>
#include <QToolButton>

namespace varno {

namespace {

const QColor kErrorColor(0xff, 0x5f, 0x57);

// The number of the latest preview asked of a tile, kept on the tile.
constexpr const char* kPreviewRequest = "varnoPreviewRequest";

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

QCoro::Task<> decodeInto(QPointer<ArtworkTile> preview, QByteArray data, int side, qulonglong request)
{
    auto decoding = decodeArtworkPreview(std::move(data), side);
    const QImage image = co_await std::move(decoding);
    if (preview && preview->property(kPreviewRequest).toULongLong() == request)
        preview->setImage(image);
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
    // Accent-filled only while it can be pressed: disabled, it is a plain
    // button with dimmed text, so the two states are told apart at a glance.
    QPalette prominent = button->palette();
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        prominent.setColor(group, QPalette::Button, prominent.color(group, QPalette::Highlight));
        prominent.setColor(group, QPalette::ButtonText, prominent.color(group, QPalette::HighlightedText));
    }
    button->setPalette(prominent);
    QFont font = button->font();
    font.setWeight(QFont::DemiBold);
    button->setFont(font);
}

SheetButtons addSheetButtons(QDialog* sheet, QBoxLayout* layout, const QString& confirmText, const QString& confirmObjectName,
                             bool ctrlEscapeCancels, const std::function<void()>& confirm)
{
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    SheetButtons buttons;
    buttons.cancel = new QPushButton(QStringLiteral("Cancel"), sheet);
    buttons.cancel->setObjectName(QStringLiteral("cancel"));
    buttons.cancel->setAutoDefault(false);
    buttons.confirm = new QPushButton(confirmText, sheet);
    buttons.confirm->setObjectName(confirmObjectName);
    buttons.confirm->setAutoDefault(false);
    buttons.confirm->setToolTip(QKeySequence(Qt::CTRL | Qt::Key_Return).toString(QKeySequence::NativeText));
    makeProminent(buttons.confirm);
    row->addWidget(buttons.cancel);
    row->addWidget(buttons.confirm);
    layout->addLayout(row);

    QObject::connect(buttons.cancel, &QPushButton::clicked, sheet, &QDialog::reject);
    QObject::connect(buttons.confirm, &QPushButton::clicked, sheet, confirm);
    for (const QKeySequence& keys : {QKeySequence(Qt::CTRL | Qt::Key_Return), QKeySequence(Qt::CTRL | Qt::Key_Enter)})
        QObject::connect(new QShortcut(keys, sheet), &QShortcut::activated, sheet, confirm);
    if (ctrlEscapeCancels) {
        const QKeySequence cancelKeys(Qt::CTRL | Qt::Key_Escape);
        buttons.cancel->setToolTip(cancelKeys.toString(QKeySequence::NativeText));
        QObject::connect(new QShortcut(cancelKeys, sheet), &QShortcut::activated, sheet, &QDialog::reject);
    }
    return buttons;
}

QCoro::Task<PickedArtwork> readPickedArtwork(FileURL file)
{
    PickedArtwork picked;
    try {
        auto loading = loadArtworkFile(file);
        picked.data = co_await std::move(loading);
    } catch (const std::exception& error) {
        picked.failure = describe(error);
    }
    co_return picked;
}

void showArtworkPreview(ArtworkTile* preview, std::optional<QByteArray> data, int side)
{
    const qulonglong request = preview->property(kPreviewRequest).toULongLong() + 1;
    preview->setProperty(kPreviewRequest, request);
    if (!data) {
        preview->setImage({});
        return;
    }
    auto decoding = decodeInto(preview, std::move(*data), side, request);
}

QCoro::Task<QImage> decodeArtworkPreview(QByteArray data, int side)
{
    auto decoding = runOn(QThreadPool::globalInstance(), [data = std::move(data), side] { return decodeScaled(data, side); });
    co_return co_await std::move(decoding);
}

} // namespace varno
