#pragma once

#include <QString>

namespace varno {

// What a rescan of the watched folders found.
struct RescanSummary {
    int added = 0;
    // Songs whose file is not where the library says.
    int missing = 0;
    // Songs imported before their year, numbers, comments and BPM were
    // read, whose files' tags the tag fill the rescan started reads after
    // it has returned; 0 when none is started.
    int tagsToRead = 0;
    // The combined import failure text, empty when every file imported.
    QString failures;
};

} // namespace varno
