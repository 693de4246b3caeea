#pragma once

#include <QString>

#include <cstdio>

namespace varno {

// One line on standard output, for failures nobody else reports.
void printDiagnostic(const QString& line);

// Where diagnostic lines go from now on. The command-line tool sends them to
// standard error, so they never mix with output meant for a pipe.
void setDiagnosticOutput(std::FILE* stream);

} // namespace varno
