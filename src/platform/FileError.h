#pragma once

#include "Error.h"

namespace varno {

// A failed file-system operation, carrying the system's own reason (strerror).
class FileError final : public Error {
public:
    enum class Operation { Read, Write, Create, Remove, Open };

    FileError(Operation operation, const QString& path, int errorNumber);
    // For failures the system has no error number for, such as a read-only
    // file we refuse to replace: `reason` is said in place of strerror's text.
    FileError(Operation operation, const QString& path, int errorNumber, const QString& reason);

    Operation operation() const { return m_operation; }
    const QString& path() const { return m_path; }
    int errorNumber() const { return m_errorNumber; }

private:
    Operation m_operation;
    QString m_path;
    int m_errorNumber;
};

} // namespace varno
