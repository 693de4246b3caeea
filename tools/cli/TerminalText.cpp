#include "TerminalText.h"

namespace varno::cli {

namespace {

bool needsEscape(char16_t c)
{
    return c < 0x20 || (c >= 0x7f && c <= 0x9f)                // C0, DEL, C1
        || c == 0x200e || c == 0x200f || c == 0x061c            // direction marks
        || (c >= 0x202a && c <= 0x202e)                         // embeddings and overrides
        || (c >= 0x2066 && c <= 0x2069)                         // isolates
        || c == 0x2028 || c == 0x2029;                          // line and paragraph separators
}

} // namespace

QString terminalSafe(const QString& text)
{
    qsizetype first = 0;
    while (first < text.size() && !needsEscape(text.at(first).unicode()))
        ++first;
    if (first == text.size())
        return text;

    QString safe = text.left(first);
    safe.reserve(text.size() + 8);
    for (qsizetype i = first; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        if (!needsEscape(c)) {
            safe += QChar(c);
            continue;
        }
        switch (c) {
        case 0x1b: safe += QLatin1String("\\e"); break;
        case u'\r': safe += QLatin1String("\\r"); break;
        case u'\n': safe += QLatin1String("\\n"); break;
        case u'\t': safe += QLatin1String("\\t"); break;
        default:
            safe += c <= 0xff ? QStringLiteral("\\x%1").arg(int(c), 2, 16, QLatin1Char('0'))
                              : QStringLiteral("\\u%1").arg(int(c), 4, 16, QLatin1Char('0'));
        }
    }
    return safe;
}

} // namespace varno::cli
