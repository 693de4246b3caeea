#pragma once

#include <QStringList>

namespace varno {

// What one import of files and folders did, for callers that report it
// themselves rather than take the combined failure message.
struct ImportSummary {
    // Songs this import added; songs other processes added meanwhile are
    // not counted.
    int added = 0;
    // "name: reason" for every file that was tried and failed, and for every
    // item of a folder that could not even be looked at (a name that is not
    // valid UTF-8, a path longer than the system allows, a pipe or a device
    // named like audio).
    QStringList failures;
    // Paths of audio files of types the library does not take: those given
    // directly, and those found in folders (".opus", ".ape", ...).
    QStringList unsupported;

    ImportSummary& operator+=(const ImportSummary& other)
    {
        added += other.added;
        failures += other.failures;
        unsupported += other.unsupported;
        return *this;
    }
};

} // namespace varno
