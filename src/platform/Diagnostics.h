#pragma once

#include <QString>

namespace varno {

// One line on standard output, for failures nobody else reports.
void printDiagnostic(const QString& line);

} // namespace varno
