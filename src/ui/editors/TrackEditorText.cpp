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

} // namespace

QString formatDurationText(double seconds)
{
    return clockText(seconds);
}

std::optional<double> parseDurationText(const QString& text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return 0.0;

    if (trimmed.contains(QLatin1Char(':'))) {
        const QStringList pieces = trimmed.split(QLatin1Char(':'), Qt::SkipEmptyParts);
        if (pieces.size() != 2 && pieces.size() != 3)
            return std::nullopt;
        std::int64_t total = 0;
        for (const QString& piece : pieces) {
            const std::optional<std::int64_t> value = wholeNumber(piece);
            if (!value)
                return std::nullopt;
            // Each piece counts sixty of the next: total = total × 60 + piece.
            if (__builtin_mul_overflow(total, std::int64_t(60), &total) || __builtin_add_overflow(total, *value, &total))
                return std::nullopt;
        }
        return static_cast<double>(total);
    }

    // Plain decimal notation only: no "inf", "nan" or hexadecimal forms.
    static const QRegularExpression decimal(QStringLiteral("^[+-]?([0-9]+\\.?[0-9]*|\\.[0-9]+)([eE][+-]?[0-9]+)?$"));
    if (!decimal.match(trimmed).hasMatch())
        return std::nullopt;
    bool ok = false;
    const double seconds = trimmed.toDouble(&ok);
    if (!ok || !std::isfinite(seconds) || seconds < 0)
        return std::nullopt;
    return seconds == 0 ? 0.0 : seconds;
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
