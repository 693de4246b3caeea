#pragma once

#include <QString>

#include <utility>

namespace varno {

// One field of the shared metadata editor: the text the user edits and
// whether it is to be applied to every selected song. Whether the songs
// disagreed on the field is fixed when the draft is built.
class AppliedTextMetadataDraft {
public:
    AppliedTextMetadataDraft() = default;
    AppliedTextMetadataDraft(QString value, bool hadMixedValues)
        : value(std::move(value))
        , m_hadMixedValues(hadMixedValues)
    {
    }

    QString value;
    bool isApplied = false;

    bool hadMixedValues() const { return m_hadMixedValues; }

    friend bool operator==(const AppliedTextMetadataDraft&, const AppliedTextMetadataDraft&) = default;

private:
    bool m_hadMixedValues = false;
};

} // namespace varno
