#pragma once

#include "platform/Error.h"

#include <QStringList>

namespace varno {

// Files of an import that could not be imported; the other files of the same
// import stay imported. The description names the first three failures and
// counts the rest:
// "Some files could not be imported:\n<first>\n<second>\n<third>\nAnd 2 more."
class ImportError final : public Error {
public:
    // `failures` holds "name: reason" for each file, in the order met; it is
    // never empty.
    explicit ImportError(QStringList failures);

    const QStringList& failures() const { return m_failures; }

    // The description an ImportError over `failures` has.
    static QString describeFailures(const QStringList& failures);

private:
    QStringList m_failures;
};

} // namespace varno
