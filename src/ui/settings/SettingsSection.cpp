#include "SettingsSection.h"

#include "media/ThemeEngine.h"
#include "ui/ThemeApplier.h"
#include "ui/inspector/SectionCaption.h"

#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QToolButton>
#include <QVBoxLayout>

namespace varno {

class SettingsSection::Card final : public QWidget {
public:
    Card(ThemeEngine& theme, QWidget* parent)
        : QWidget(parent)
        , m_theme(theme)
    {
        connect(&m_theme, &ThemeEngine::configurationChanged, this, qOverload<>(&QWidget::update));
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const qreal radius = ThemeApplier::cornerRadius(m_theme.currentConfiguration(), 10);
        QPainterPath card;
        card.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), radius, radius);
        painter.fillPath(card, palette().color(QPalette::AlternateBase));
        QColor edge = palette().color(QPalette::WindowText);
        edge.setAlphaF(0.08);
        painter.setPen(edge);
        painter.drawPath(card);
    }

private:
    ThemeEngine& m_theme;
};

SettingsSection::SettingsSection(const QString& title, ThemeEngine& theme, QWidget* parent)
    : QWidget(parent)
    , m_title(title)
{
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(6);
    column->addWidget(makeSectionCaption(title, this));
    auto* card = new Card(theme, this);
    m_body = new QVBoxLayout(card);
    m_body->setContentsMargins(14, 12, 14, 12);
    m_body->setSpacing(12);
    column->addWidget(card);
}

QToolButton* makeSegmentButton(const QString& text, QWidget* parent)
{
    auto* button = new QToolButton(parent);
    button->setText(text);
    button->setCheckable(true);
    button->setAccessibleName(text);
    button->setMinimumWidth(72);
    button->setStyleSheet(QStringLiteral(
        "QToolButton { border: 1px solid palette(mid); padding: 4px 10px; }"
        "QToolButton:checked { background: palette(highlight); color: palette(highlighted-text); border-color: palette(highlight); }"));
    return button;
}

} // namespace varno
