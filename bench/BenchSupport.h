#pragma once

#include "library/FileWatcher.h"
#include "storage/Track.h"

#include <QCoreApplication>
#include <QCoroTask>
#include <QString>
#include <QThread>

#include <exception>
#include <optional>
#include <string>

#include <cstddef>
#include <vector>

namespace varno::bench {

// A library of `count` songs with the fields a real collection has: tags on
// most songs, a bookmark on every one, a few long comments.
std::vector<Track> syntheticLibrary(std::size_t count);

// Watches nothing: benchmarks time the library, not the set-up of a watch.
class IdleFileWatcher final : public FileWatcher {
public:
    std::vector<FileURL> monitoredFolders() const override { return {}; }
    void startWatching(const FileURL&) override {}
    void stopWatching(const FileURL&) override {}
    void pause() override {}
    void resume() override {}
};

// CPU time the calling thread has used, in milliseconds: what an operation
// costs the main thread while its file work runs elsewhere.
double threadCpuMilliseconds();

// The reference for loading: what a parse of a tracks file into plain structs
// costs when nothing else is done (no UUID, URL or Base64 decoding, no UTF-16).
struct PlainTrack {
    std::string id, fileURL, filename, title, bookmark, artist, album, genre, composer, albumArtist, comments, lyrics;
    double duration = 0, dateAdded = 0;
    std::int64_t rating = 0, bitrate = 0, sampleRate = 0, year = 0, trackNumber = 0, discNumber = 0, bpm = 0;
};
std::vector<PlainTrack> bareParse(const QString& path);

// Peak resident memory since the last reset, and the current one, in bytes.
std::size_t peakResidentBytes();
std::size_t residentBytes();
void resetPeakResident();

// Runs the event loop until `task` finishes; returns its value or rethrows.
namespace detail {
template<typename T>
QCoro::Task<> capture(QCoro::Task<T> task, std::optional<T>* result, std::exception_ptr* error, bool* done)
{
    try {
        if constexpr (std::is_void_v<T>)
            co_await std::move(task);
        else
            result->emplace(co_await std::move(task));
    } catch (...) {
        *error = std::current_exception();
    }
    *done = true;
}
} // namespace detail

template<typename T>
T awaitTask(QCoro::Task<T> task)
{
    using Stored = std::conditional_t<std::is_void_v<T>, bool, T>;
    std::optional<Stored> result;
    std::exception_ptr error;
    bool done = false;
    if constexpr (std::is_void_v<T>) {
        auto runner = detail::capture<T>(std::move(task), nullptr, &error, &done);
        while (!done)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    } else {
        auto runner = detail::capture<T>(std::move(task), &result, &error, &done);
        while (!done)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    if (error)
        std::rethrow_exception(error);
    if constexpr (!std::is_void_v<T>)
        return std::move(*result);
}

// The body of every benchmark's main: a Qt application for the engines'
// event loop, then Google Benchmark with the command line's flags. With
// `isolatePreferences` the preferences store writes to a throw-away folder,
// never the user's own settings.
int runBenchmarks(int argc, char** argv, bool isolatePreferences = false);

} // namespace varno::bench
