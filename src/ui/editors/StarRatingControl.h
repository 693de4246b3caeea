#pragma once

#include <QWidget>

#include <array>
#include <cstdint>

class QToolButton;

namespace varno {

// Five stars for the ratings 1 to 5, filled up to the rating. Clicking star
// n sets the rating to n, or to 0 when it already is n. Main thread only.
class StarRatingControl final : public QWidget {
    Q_OBJECT

public:
    static constexpr int kStarCount = 5;
    // What a screen reader calls star n ("Rate 3 Stars") and says of the
    // rating it is part of ("Rated 3 of 5", "Not rated"); the right panel's
    // stars say the same.
    static QString starName(int n);
    static QString ratingDescription(std::int64_t rating);

    explicit StarRatingControl(QWidget* parent = nullptr);

    std::int64_t rating() const { return m_rating; }
    // Shows `rating` without emitting ratingChanged.
    void setRating(std::int64_t rating);
    // Star n, from 1.
    QToolButton* star(int n) const { return m_stars.at(n - 1); }
    // What a click on star n does.
    void clickStar(int n);
    // Whether star n is drawn filled ("star.fill") rather than outlined.
    bool isFilled(int n) const { return m_rating >= n; }

signals:
    void ratingChanged(std::int64_t rating);

private:
    void showRating();

    std::array<QToolButton*, kStarCount> m_stars {};
    std::int64_t m_rating = 0;
};

} // namespace varno
