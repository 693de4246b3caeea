#pragma once

#include <optional>

namespace varno {

// What a shared edit does to one optional field of every song in the batch:
// leave each song's own value, or give all of them the same value (an absent
// value clears the field).
template<typename T>
class OptionalMetadataChange {
public:
    static OptionalMetadataChange unchanged() { return OptionalMetadataChange(); }
    static OptionalMetadataChange set(const std::optional<T>& value) { return OptionalMetadataChange(value); }

    bool isUnchanged() const { return !m_isSet; }
    // The value every song takes; only meaningful when the field is set.
    const std::optional<T>& value() const { return m_value; }

    void applyTo(std::optional<T>& field) const
    {
        if (m_isSet)
            field = m_value;
    }

    friend bool operator==(const OptionalMetadataChange&, const OptionalMetadataChange&) = default;

private:
    OptionalMetadataChange() = default;
    explicit OptionalMetadataChange(const std::optional<T>& value)
        : m_isSet(true)
        , m_value(value)
    {
    }

    bool m_isSet = false;
    std::optional<T> m_value;
};

} // namespace varno
