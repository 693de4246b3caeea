#pragma once

#include "TestSupport.h"
#include "UiHarness.h"

#include "fixtures/FixtureGenerator.h"
#include "library/LibraryEngine.h"

#include <QDir>
#include <QFileInfo>

#include <optional>

namespace varno::test {

// One song imported into the harness's library: a short WAV with the given
// artist and album (absent when not given) and, when given, a JPEG cover.
inline Track importSong(UiHarness& ui, const QString& folder, const QString& title, std::optional<QString> artist = {},
                        std::optional<QString> album = {}, std::optional<QByteArray> cover = {})
{
    const QString path = folder + QLatin1Char('/') + title + QStringLiteral(".wav");
    QDir().mkpath(QFileInfo(path).path());
    fixtures::Signal signal;
    signal.seconds = 2;
    fixtures::Tags tags;
    tags.title = title;
    tags.artist = std::move(artist);
    tags.album = std::move(album);
    std::vector<fixtures::Picture> pictures;
    if (cover)
        pictures.push_back({*cover, QStringLiteral("image/jpeg")});
    fixtures::writeAudioFile(path, fixtures::Format::Wav, signal, tags, pictures);
    await(ui.container->libraryEngine().importFiles({FileURL::fromLocalFile(path)}));
    const SharedTrack found = [&] {
        for (const SharedTrack& song : ui.container->libraryEngine().allTracks().sharedSongs()) {
            if (song->title == title)
                return song;
        }
        return SharedTrack();
    }();
    EXPECT_TRUE(found) << title.toStdString() << " was not imported";
    return found ? *found : Track();
}

} // namespace varno::test
