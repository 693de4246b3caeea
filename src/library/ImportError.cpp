#include "ImportError.h"

namespace varno {

ImportError::ImportError(QStringList failures)
    : Error(describeFailures(failures))
    , m_failures(std::move(failures))
{
    Q_ASSERT(!m_failures.isEmpty());
}

QString ImportError::describeFailures(const QStringList& failures)
{
    QString message = QStringLiteral("Some files could not be imported:\n") + failures.mid(0, 3).join(QLatin1Char('\n'));
    if (failures.size() > 3)
        message += QStringLiteral("\nAnd %1 more.").arg(failures.size() - 3);
    return message;
}

} // namespace varno
