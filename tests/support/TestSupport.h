#pragma once

#include "platform/ApplicationIdentity.h"
#include "platform/Diagnostics.h"
#include "storage/Playlist.h"
#include "storage/Track.h"
#include "storage/TrackList.h"

#include <QCoreApplication>
#include <QCoroTask>
#include <QDeadlineTimer>
#include <QRect>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QThread>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <unistd.h>
#include <exception>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>

namespace varno::test {

// Points XDG_DATA_HOME, XDG_CONFIG_HOME, XDG_RUNTIME_DIR and HOME at a fresh
// temporary folder for the whole process. Called once, before QApplication.
void isolateProcessFolders();

// The offscreen desktop every test (and every program a test starts) runs
// on: two screens side by side, the first the primary one, each as large as
// a common monitor, so a window of the default size fits as it would for a
// user. The platform option is what QT_QPA_PLATFORM is set to; call it after
// isolateProcessFolders(), which gives it a folder for its description.
struct TestScreen {
    const char* name;
    QRect geometry;
};
inline const TestScreen kPrimaryTestScreen {"DP-1", QRect(0, 0, 1600, 1000)};
inline const TestScreen kSecondTestScreen {"HDMI-1", QRect(1600, 0, 1280, 1024)};
QByteArray offscreenPlatformWithTestScreens();

// A fixture giving each test its own empty data folder, home folder and
// preferences: XDG_DATA_HOME and HOME are moved to a new temporary folder
// and the preference store is emptied.
class DataFolderTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // The application folder ("OstrelMediaStudio" in the data home).
    QString appFolder() const;
    QString appFile(const QString& name) const { return appFolder() + QLatin1Char('/') + name; }
    QString homeFolder() const { return m_root.path() + QStringLiteral("/home"); }
    QString dataHome() const { return m_root.path() + QStringLiteral("/data"); }
    QString scratch(const QString& name) const { return m_root.path() + QLatin1Char('/') + name; }

private:
    QTemporaryDir m_root;
};

QByteArray readFile(const QString& path);
void writeFile(const QString& path, const QByteArray& bytes);

// The preference store's file (QSettings, INI), and a way to replace it
// with text as a user editing it by hand would leave it.
QString settingsFile();
void writeSettingsFile(const QByteArray& ini);

// A file of the generated fixture set (tools/fixtures/README.md lists it),
// for example fixturePath("formats/tagged.mp3").
QString fixturePath(const QString& relative);

// A song record with a fixed shape, for tests that only care about identity.
Track makeTrack(const QString& title, const QUuid& id = QUuid::createUuid());

// What a list shows, for comparing against the names a test expects.
QStringList titlesOf(const TrackList& tracks);
QStringList namesOf(const QList<Playlist>& playlists);

// Runs the event loop until `condition` holds or `timeout` passes; whether it
// held. QTest's QTRY_ macros only return from the function on a timeout,
// which GoogleTest does not count as a failure, so tests use this instead:
// EXPECT_TRUE(test::waitUntil([&] { return …; })). The deadline is generous
// on purpose: it only matters when the test fails, and a sanitizer build on
// a busy machine can take seconds for what takes milliseconds when idle.
bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout = std::chrono::seconds(30));

// A stretch of the event loop's own time: `count` timeouts of a timer of
// `interval` started when the wait starts. On a loaded machine it lasts
// longer, just as the timers of the code under test fire later, so it is
// the window for checking that something does NOT happen: a test that uses
// it shows, with the same window, that the thing is seen when it does
// happen, and both hold however busy the machine is.
struct TimerBeats {
    std::chrono::milliseconds interval;
    int count = 1;
};

// Runs the event loop until `happened` holds or `window` has passed;
// whether it held.
bool happensWithin(TimerBeats window, const std::function<bool()>& happened);

// Runs the event loop until `task` finishes, then returns its value or
// rethrows its exception. QCoro::waitFor hangs when a task throws after
// suspending, so the task is driven through a wrapper that records both.
namespace detail {

template<typename T>
QCoro::Task<> capture(QCoro::Task<T> task, std::optional<T>* result, std::exception_ptr* error, bool* done)
{
    try {
        result->emplace(co_await std::move(task));
    } catch (...) {
        *error = std::current_exception();
    }
    *done = true;
}

QCoro::Task<> captureVoid(QCoro::Task<> task, std::exception_ptr* error, bool* done);

void spinUntil(const bool& done, std::chrono::milliseconds timeout);

} // namespace detail

template<typename T>
T await(QCoro::Task<T> task, std::chrono::milliseconds timeout = std::chrono::seconds(60))
{
    std::optional<T> result;
    std::exception_ptr error;
    bool done = false;
    auto runner = detail::capture(std::move(task), &result, &error, &done);
    detail::spinUntil(done, timeout);
    if (error)
        std::rethrow_exception(error);
    return std::move(*result);
}

inline void await(QCoro::Task<> task, std::chrono::milliseconds timeout = std::chrono::seconds(60))
{
    std::exception_ptr error;
    bool done = false;
    auto runner = detail::captureVoid(std::move(task), &error, &done);
    detail::spinUntil(done, timeout);
    if (error)
        std::rethrow_exception(error);
}

// Catches the diagnostic lines written from its making to its end, so a
// test can wait for a line to be printed.
class DiagnosticCapture {
public:
    DiagnosticCapture();
    ~DiagnosticCapture();
    DiagnosticCapture(const DiagnosticCapture&) = delete;
    DiagnosticCapture& operator=(const DiagnosticCapture&) = delete;

    // Every line written so far.
    QString text() const;

private:
    QTemporaryFile m_file;
    std::FILE* m_stream = nullptr;
};

// Diagnostic lines written while `body` runs.
template<typename Body>
QString diagnosticsOf(Body&& body)
{
    const DiagnosticCapture capture;
    body();
    return capture.text();
}

// The description of the exception `body` throws, or "<no error>".
template<typename Body>
QString errorText(Body&& body)
{
    try {
        body();
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    }
    return QStringLiteral("<no error>");
}

} // namespace varno::test

namespace varno {
// Failure messages show a song as its JSON form.
void PrintTo(const Track& track, std::ostream* os);
} // namespace varno

// Lets gtest print QStrings in failure messages.
QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& s, std::ostream* os)
{
    *os << '"' << s.toStdString() << '"';
}
QT_END_NAMESPACE
