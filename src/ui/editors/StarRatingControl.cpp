#include "StarRatingControl.h"

#include "ui/Icons.h"

#include <QHBoxLayout>
#include <QToolButton>

namespace varno {

namespace {

// The gold of a filled star; outlined stars take the palette's dim text.
const QColor kStarColor(0xff, 0xc4, 0x3d);

} // namespace

QString StarRatingControl::starName(int n)
{
    return n == 1 ? QStringLiteral("Rate 1 Star") : QStringLiteral("Rate %1 Stars").arg(n);
}

QString StarRatingControl::ratingDescription(std::int64_t rating)
{
    return rating > 0 ? QStringLiteral("Rated %1 of %2").arg(rating).arg(kStarCount) : QStringLiteral("Not rated");
}

StarRatingControl::StarRatingControl(QWidget* parent)
    : QWidget(parent)
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    for (int n = 1; n <= kStarCount; ++n) {
        auto* star = new QToolButton(this);
        star->setObjectName(QStringLiteral("star%1").arg(n));
        star->setAutoRaise(true);
        star->setIconSize(QSize(20, 20));
        star->setCursor(Qt::PointingHandCursor);
        star->setAccessibleName(starName(n));
        star->setToolTip(starName(n));
        connect(star, &QToolButton::clicked, this, [this, n] { clickStar(n); });
        layout->addWidget(star);
        m_stars[n - 1] = star;
    }
    layout->addStretch(1);
    showRating();
}

void StarRatingControl::setRating(std::int64_t rating)
{
    m_rating = rating;
    showRating();
}

void StarRatingControl::clickStar(int n)
{
    m_rating = m_rating == n ? 0 : n;
    showRating();
    emit ratingChanged(m_rating);
}

void StarRatingControl::showRating()
{
    for (int n = 1; n <= kStarCount; ++n) {
        QToolButton* star = m_stars[n - 1];
        star->setIcon(isFilled(n) ? symbolIcon(u"star.fill", kStarColor) : symbolIcon(u"star", palette().color(QPalette::PlaceholderText)));
        star->setProperty("filled", isFilled(n));
        star->setAccessibleDescription(ratingDescription(m_rating));
    }
}

} // namespace varno
