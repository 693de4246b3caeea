#include "WaveformCodec.h"

namespace varno::json {

std::string encodeWaveform(const Waveform& waveform)
{
    std::string out;
    // A peak takes about ten characters with its comma.
    out.reserve(waveform.peaks.size() * 11 + 64);
    Writer writer(out);
    writer.beginObject();
    writer.key("peaks").beginArray();
    for (const float peak : waveform.peaks)
        writer.number(peak);
    writer.endArray();
    writer.key("trackID").uuid(waveform.trackID);
    writer.endObject();
    return out;
}

Waveform decodeWaveform(const fileio::FileBytes& bytes, std::string_view fileName)
{
    enum : std::size_t { kPeaks, kTrackID };
    static constexpr std::string_view names[] = {"peaks", "trackID"};
    static const KeyTable table(names);
    constexpr std::uint32_t required = (1u << kPeaks) | (1u << kTrackID);

    Document document(bytes, fileName);
    Waveform waveform;
    decodeFields(document.root(), document.path(), table, required, [&](std::size_t key, Value value, const Path& at) {
        if (key == kTrackID) {
            waveform.trackID = readUuid(value, at);
            return;
        }
        waveform.peaks.clear();
        forEachItem(value, at, [&](std::int64_t, Value item, const Path& itemPath) {
            const double peak = readDouble(item, itemPath);
            // Peaks are normalised; anything else was not written by a
            // generator and would draw outside the bar.
            if (!(peak >= 0.0 && peak <= 1.0))
                itemPath.fail("expected a number from 0 to 1");
            waveform.peaks.push_back(static_cast<float>(peak));
        });
    });
    document.expectEnd();
    return waveform;
}

} // namespace varno::json
