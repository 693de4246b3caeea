#pragma once

#include <QString>

namespace varno {

// How far the running imports of the library have got. While none runs it is
// inactive and keeps the counts of the last one, so a view can still say how
// it ended.
struct ImportProgress {
    // Files read so far, whether they imported or failed.
    int done = 0;
    // Files the running imports read in all; grows when another one starts.
    int total = 0;
    // The name of the file the import is waiting for; empty when inactive.
    QString currentFile;
    bool active = false;
    // Whether the work running only reads the tags of songs already in the
    // library (a rescan's tag fill), importing nothing.
    bool readingTagsOnly = false;

    friend bool operator==(const ImportProgress&, const ImportProgress&) = default;
};

} // namespace varno
