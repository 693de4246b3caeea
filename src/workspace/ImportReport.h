#pragma once

#include "library/ImportSummary.h"

#include <QString>

namespace varno {

// What the user is told after adding folders or dropping files, from what
// the import did. Songs added with nothing passed over need no words (the
// list shows them); some added and some skipped is a notice that says how
// many were added and lists what was skipped and why; nothing added because
// everything failed is a failure; nothing added and nothing failed says so.
struct ImportReport {
    enum class Kind { Silent, Notice, Failure };

    Kind kind = Kind::Silent;
    // The headline: "Added 342 songs", "The folder could not be added".
    QString message;
    // Why anything was skipped, one line a file ("name: reason"), at most
    // kListedFiles of them and a last line counting the rest.
    QString details;

    static constexpr int kListedFiles = 8;
};

// `failureMessage` is the headline when nothing could be added.
ImportReport reportImport(const ImportSummary& summary, const QString& failureMessage);

} // namespace varno
