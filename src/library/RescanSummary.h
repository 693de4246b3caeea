#pragma once

#include <QString>

namespace varno {

// What a rescan of the watched folders found.
struct RescanSummary {
    int added = 0;
    // Songs whose file is not where the library says.
    int missing = 0;
    // Songs imported before their year, numbers, comments and BPM were
    // read, given what their files' tags hold for those they lacked.
    int filled = 0;
    // The combined import failure text, empty when every file imported.
    QString failures;
};

} // namespace varno
