#include "Error.h"

namespace varno {

QString describe(const std::exception& error)
{
    return QString::fromUtf8(error.what());
}

QString describe(std::exception_ptr error)
{
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        return describe(e);
    } catch (...) {
        return QStringLiteral("An unknown error occurred.");
    }
}

} // namespace varno
