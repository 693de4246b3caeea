#include "FileError.h"

#include <QFileInfo>

#include <cstring>

namespace varno {

namespace {

QString describeFileFailure(FileError::Operation operation, const QString& path, const QString& reason)
{
    const QString name = QFileInfo(path).fileName();
    QString verb;
    switch (operation) {
    case FileError::Operation::Read:
        verb = QStringLiteral("could not be read");
        break;
    case FileError::Operation::Write:
        verb = QStringLiteral("could not be saved");
        break;
    case FileError::Operation::Create:
        verb = QStringLiteral("could not be created");
        break;
    case FileError::Operation::Remove:
        verb = QStringLiteral("could not be removed");
        break;
    case FileError::Operation::Open:
        verb = QStringLiteral("could not be opened");
        break;
    }
    return QStringLiteral("The file \u201C%1\u201D %2: %3 (%4)")
        .arg(name.isEmpty() ? path : name, verb, reason, path);
}

} // namespace

FileError::FileError(Operation operation, const QString& path, int errorNumber)
    : FileError(operation, path, errorNumber, QString::fromLocal8Bit(std::strerror(errorNumber)))
{
}

FileError::FileError(Operation operation, const QString& path, int errorNumber, const QString& reason)
    : Error(describeFileFailure(operation, path, reason))
    , m_operation(operation)
    , m_path(path)
    , m_errorNumber(errorNumber)
{
}

} // namespace varno
