#pragma once

#include "platform/Error.h"

#include <cstdint>

namespace varno {

// A numeric field of the shared metadata editor whose text is not a whole
// number within the field's range. The text is shown beside the field and
// keeps the edit from being applied.
class SharedMetadataFieldError final : public Error {
public:
    enum class Kind { OutOfRange };

    static SharedMetadataFieldError outOfRange(const QString& label, std::int64_t minimum, std::int64_t maximum)
    {
        return {Kind::OutOfRange, label,
                label + QStringLiteral(" must be between ") + QString::number(minimum) + QStringLiteral(" and ")
                    + QString::number(maximum) + QStringLiteral(", or left blank to clear it.")};
    }

    Kind kind() const { return m_kind; }
    // The field's label as the editor shows it ("Year", "Disc number", "BPM").
    const QString& label() const { return m_label; }

private:
    SharedMetadataFieldError(Kind kind, const QString& label, const QString& description)
        : Error(description)
        , m_kind(kind)
        , m_label(label)
    {
    }

    Kind m_kind;
    QString m_label;
};

} // namespace varno
