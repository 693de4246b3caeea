#pragma once

#include "platform/Error.h"

namespace varno {

// Why an image file the user picked cannot become a song's artwork.
class ArtworkFileError final : public Error {
public:
    enum class Kind { FileTooLarge, Unreadable, InvalidImage, ExcessiveDimensions };

    static ArtworkFileError fileTooLarge(int maximumMegabytes)
    {
        return {Kind::FileTooLarge, QStringLiteral("Artwork must be smaller than %1 MB.").arg(maximumMegabytes), QString::number(maximumMegabytes)};
    }
    static ArtworkFileError unreadable(const QString& reason)
    {
        return {Kind::Unreadable, QStringLiteral("The artwork could not be read: ") + reason, reason};
    }
    static ArtworkFileError invalidImage() { return {Kind::InvalidImage, QStringLiteral("The selected file is not a supported image."), {}}; }
    static ArtworkFileError excessiveDimensions()
    {
        return {Kind::ExcessiveDimensions, QStringLiteral("The selected image is too large to process safely."), {}};
    }

    Kind kind() const { return m_kind; }

    friend bool operator==(const ArtworkFileError& a, const ArtworkFileError& b) { return a.m_kind == b.m_kind && a.m_payload == b.m_payload; }

private:
    ArtworkFileError(Kind kind, const QString& description, QString payload)
        : Error(description)
        , m_kind(kind)
        , m_payload(std::move(payload))
    {
    }

    Kind m_kind;
    QString m_payload;
};

} // namespace varno
