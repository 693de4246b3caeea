#pragma once

#include <QByteArray>

#include <optional>
#include <utility>

namespace varno {

// What a shared edit does to the covers of the batch: every song keeps its
// own, or every song gets the same image.
class SharedArtworkChange {
public:
    static SharedArtworkChange unchanged() { return SharedArtworkChange(); }
    static SharedArtworkChange replace(QByteArray imageData) { return SharedArtworkChange(std::move(imageData)); }

    bool isUnchanged() const { return !m_replacement.has_value(); }
    // The new cover's bytes when the covers are replaced.
    const std::optional<QByteArray>& replacement() const { return m_replacement; }

    friend bool operator==(const SharedArtworkChange&, const SharedArtworkChange&) = default;

private:
    SharedArtworkChange() = default;
    explicit SharedArtworkChange(QByteArray imageData)
        : m_replacement(std::move(imageData))
    {
    }

    std::optional<QByteArray> m_replacement;
};

} // namespace varno
