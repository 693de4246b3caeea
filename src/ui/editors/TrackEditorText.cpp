#include "TrackEditorText.h"

#include "storage/DurationText.h"

#include <QRegularExpression>

#include <cmath>

namespace varno {

namespace {

// Digits only: QString::toLongLong alone would also take surrounding spaces.
bool isSignedDigits(const QString& text)
{
    static const QRegularExpression pattern(QStringLiteral("^[+-]?[0-9]+$"));
    return pattern.match(text).hasMatch();
}

std::optional<std::int64_t> wholeNumber(const QString& text)
{
    if (!isSignedDigits(text))
        return std::nullopt;
    bool ok = false;
    const qlonglong value = text.toLongLong(&ok, 10);
    if (!ok)
        return std::nullopt;
    return value;
}

const QString kFormProblem = QStringLiteral("Use minutes and seconds (3:07), hours, minutes and seconds (1:02:03), or seconds.");
const QString kSixtyProblem = QStringLiteral("Minutes and seconds after a colon go up to 59.");
const QString kNegativeProblem = QStringLiteral("A duration cannot be negative.");
const QString kTooLongProblem = QStringLiteral("A song can last at most 24 hours.");

struct DurationReading {
    std::optional<double> seconds;
    std::optional<QString> problem;
};

DurationReading problem(const QString& text)
{
    return {std::nullopt, text};
}

DurationReading readDuration(const QString& text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return {0.0, std::nullopt};

    double seconds = 0;
    if (trimmed.contains(QLatin1Char(':'))) {
        const QStringList pieces = trimmed.split(QLatin1Char(':'), Qt::SkipEmptyParts);
        if (pieces.size() != 2 && pieces.size() != 3)
            return problem(kFormProblem);
        std::int64_t total = 0;
        for (qsizetype i = 0; i < pieces.size(); ++i) {
            const std::optional<std::int64_t> value = wholeNumber(pieces[i]);
            if (!value)
                return problem(kFormProblem);
            if (*value < 0)
                return problem(kNegativeProblem);
            if (i > 0 && *value > 59)
                return problem(kSixtyProblem);
            // Each piece counts sixty of the next: total = total × 60 + piece.
            if (__builtin_mul_overflow(total, std::int64_t(60), &total) || __builtin_add_overflow(total, *value, &total))
                return problem(kTooLongProblem);
        }
        seconds = static_cast<double>(total);
    } else {
        // Plain decimal notation only: no "inf", "nan" or hexadecimal forms.
        static const QRegularExpression decimal(QStringLiteral("^[+-]?([0-9]+\\.?[0-9]*|\\.[0-9]+)([eE][+-]?[0-9]+)?$"));
        if (!decimal.match(trimmed).hasMatch())
            return problem(kFormProblem);
        bool ok = false;
        seconds = trimmed.toDouble(&ok);
        if (!ok || !std::isfinite(seconds))
            return problem(kTooLongProblem);
        if (seconds < 0)
            return problem(kNegativeProblem);
    }
    if (seconds > kLongestDuration)
        return problem(kTooLongProblem);
    return {seconds == 0 ? 0.0 : seconds, std::nullopt};
}

} // namespace

QString formatDurationText(double seconds)
{
    return clockText(seconds);
}

std::optional<double> parseDurationText(const QString& text)
{
    return readDuration(text).seconds;
}

std::optional<QString> durationTextProblem(const QString& text)
{
    return readDuration(text).problem;
}

std::optional<std::int64_t> parseWholeNumber(const QString& text)
{
    return wholeNumber(text.trimmed());
}

bool isBlankOrWholeNumber(const QString& text)
{
    return text.trimmed().isEmpty() || parseWholeNumber(text).has_value();
}

} // namespace varno
