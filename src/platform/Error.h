#pragma once

#include <QString>

#include <stdexcept>

namespace varno {

// Base of every error the system throws. The user-facing text is fixed by the
// concrete error type when it is built; description() hands it back as shown.
class Error : public std::runtime_error {
public:
    explicit Error(const QString& description)
        : std::runtime_error(description.toStdString())
    {
    }

    QString description() const { return QString::fromUtf8(what()); }
};

// The user-facing text of any exception: our own errors keep their fixed text,
// anything else falls back to what() so nothing is reported as empty.
QString describe(const std::exception& error);
QString describe(std::exception_ptr error);

} // namespace varno
