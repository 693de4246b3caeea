#include "SharedMetadataDraft.h"

#include "edits/SharedMetadataFieldError.h"

#include <array>
#include <variant>

namespace varno {

namespace {

// The value every song holds for a field, or nothing when two songs disagree.
// An absent value is a value of its own, so a song without an artist and a
// song with one disagree.
template<typename T, typename Field>
std::optional<std::optional<T>> sharedValue(const std::vector<Track>& tracks, Field field)
{
    if (tracks.empty())
        return std::optional<T>();
    const std::optional<T>& first = tracks.front().*field;
    for (const Track& track : tracks) {
        if (track.*field != first)
            return std::nullopt;
    }
    return first;
}

AppliedTextMetadataDraft textDraft(const std::vector<Track>& tracks, std::optional<QString> Track::*field)
{
    const auto shared = sharedValue<QString>(tracks, field);
    return AppliedTextMetadataDraft(shared ? shared->value_or(QString()) : QString(), !shared.has_value());
}

AppliedTextMetadataDraft numberDraft(const std::vector<Track>& tracks, std::optional<std::int64_t> Track::*field)
{
    const auto shared = sharedValue<std::int64_t>(tracks, field);
    const QString text = shared && shared->has_value() ? QString::number(**shared) : QString();
    return AppliedTextMetadataDraft(text, !shared.has_value());
}

OptionalMetadataChange<QString> textChange(const AppliedTextMetadataDraft& draft)
{
    if (!draft.isApplied)
        return OptionalMetadataChange<QString>::unchanged();
    const QString trimmed = draft.value.trimmed();
    return OptionalMetadataChange<QString>::set(trimmed.isEmpty() ? std::nullopt : std::optional<QString>(trimmed));
}

struct NumericField {
    const AppliedTextMetadataDraft& draft;
    QString label;
    std::int64_t minimum;
    std::int64_t maximum;
};

std::array<NumericField, 3> numericFields(const SharedMetadataDraft& draft)
{
    using Draft = SharedMetadataDraft;
    return {{
        {draft.year, QStringLiteral("Year"), Draft::kMinimumYear, Draft::kMaximumYear},
        {draft.discNumber, QStringLiteral("Disc number"), Draft::kMinimumDiscNumber, Draft::kMaximumDiscNumber},
        {draft.bpm, QStringLiteral("BPM"), Draft::kMinimumBPM, Draft::kMaximumBPM},
    }};
}

// Signs are accepted so that "-1" gets the range message like any other
// number outside the range; anything that is not a whole decimal number
// (fractions, exponents, letters) gets the same message.
std::variant<OptionalMetadataChange<std::int64_t>, SharedMetadataFieldError> numberChange(const NumericField& field)
{
    if (!field.draft.isApplied)
        return OptionalMetadataChange<std::int64_t>::unchanged();
    const QString trimmed = field.draft.value.trimmed();
    if (trimmed.isEmpty())
        return OptionalMetadataChange<std::int64_t>::set(std::nullopt);
    bool isNumber = false;
    const qlonglong number = trimmed.toLongLong(&isNumber, 10);
    if (!isNumber || number < field.minimum || number > field.maximum)
        return SharedMetadataFieldError::outOfRange(field.label, field.minimum, field.maximum);
    return OptionalMetadataChange<std::int64_t>::set(number);
}

} // namespace

SharedMetadataDraft::SharedMetadataDraft(const std::vector<Track>& selection)
    : artist(textDraft(selection, &Track::artist))
    , album(textDraft(selection, &Track::album))
    , albumArtist(textDraft(selection, &Track::albumArtist))
    , genre(textDraft(selection, &Track::genre))
    , year(numberDraft(selection, &Track::year))
    , discNumber(numberDraft(selection, &Track::discNumber))
    , composer(textDraft(selection, &Track::composer))
    , comments(textDraft(selection, &Track::comments))
    , bpm(numberDraft(selection, &Track::bpm))
{
    for (const Track& track : selection) {
        if (track.rating != selection.front().rating)
            m_hadMixedRatings = true;
    }
    if (!selection.empty() && !m_hadMixedRatings)
        rating = selection.front().rating;
}

std::optional<QString> SharedMetadataDraft::validationMessage() const
{
    for (const NumericField& field : numericFields(*this)) {
        const auto change = numberChange(field);
        if (const auto* error = std::get_if<SharedMetadataFieldError>(&change))
            return error->description();
    }
    return std::nullopt;
}

QStringList SharedMetadataDraft::validationMessages() const
{
    QStringList messages;
    for (const NumericField& field : numericFields(*this)) {
        const auto change = numberChange(field);
        if (const auto* error = std::get_if<SharedMetadataFieldError>(&change))
            messages.append(error->description());
    }
    return messages;
}

SharedTrackMetadataPatch SharedMetadataDraft::makePatch() const
{
    SharedTrackMetadataPatch patch;
    patch.artist = textChange(artist);
    patch.album = textChange(album);
    patch.albumArtist = textChange(albumArtist);
    patch.genre = textChange(genre);
    patch.composer = textChange(composer);
    patch.comments = textChange(comments);

    const std::array<NumericField, 3> fields = numericFields(*this);
    const std::array<OptionalMetadataChange<std::int64_t>*, 3> targets = {&patch.year, &patch.discNumber, &patch.bpm};
    for (size_t i = 0; i < fields.size(); ++i) {
        auto change = numberChange(fields[i]);
        if (auto* error = std::get_if<SharedMetadataFieldError>(&change))
            throw std::move(*error);
        *targets[i] = std::get<OptionalMetadataChange<std::int64_t>>(change);
    }

    if (isRatingApplied)
        patch.rating = rating;
    if (replacementArtworkData)
        patch.artwork = SharedArtworkChange::replace(*replacementArtworkData);
    return patch;
}

} // namespace varno
