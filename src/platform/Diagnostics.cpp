#include "Diagnostics.h"

#include <cstdio>

#include <atomic>

namespace varno {

namespace {
std::atomic<std::FILE*> s_output {nullptr};
}

void printDiagnostic(const QString& line)
{
    std::FILE* const output = s_output.load() ? s_output.load() : stdout;
    const QByteArray bytes = (line + QLatin1Char('\n')).toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), output);
    std::fflush(output);
}

void setDiagnosticOutput(std::FILE* stream)
{
    s_output = stream;
}

} // namespace varno
