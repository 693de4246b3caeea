#include "TestSupport.h"

#include <QApplication>

#include <gtest/gtest.h>

#define VARNO_ASAN_OPTIONS "detect_leaks=1:detect_stack_use_after_return=0"
#define VARNO_LSAN_OPTIONS "suppressions=" VARNO_LSAN_SUPPRESSIONS ":print_suppressions=0"
#define VARNO_UBSAN_OPTIONS "print_stacktrace=1:halt_on_error=1"

// Read by the sanitizer runtimes at start-up, before main.
extern "C" const char* __asan_default_options() { return VARNO_ASAN_OPTIONS; }
extern "C" const char* __lsan_default_options() { return VARNO_LSAN_OPTIONS; }
extern "C" const char* __ubsan_default_options() { return VARNO_UBSAN_OPTIONS; }

// Every test binary runs with its preferences and data under a temporary
// folder of its own, set before Qt caches any path, and with no display.
int main(int argc, char** argv)
{
    varno::test::isolateProcessFolders();
    qputenv("QT_QPA_PLATFORM", varno::test::offscreenPlatformWithTestScreens());
    qputenv("VARNO_AUDIO_OUTPUT", "null");
    // No test reaches the machine's session bus (a running player there
    // would take the files of an app a test starts); the desktop tests
    // start buses of their own.
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + qgetenv("XDG_RUNTIME_DIR") + "/no-session-bus");
    // Programs the tests start (the app, the CLI) are sanitizer builds too.
    qputenv("ASAN_OPTIONS", VARNO_ASAN_OPTIONS);
    qputenv("LSAN_OPTIONS", VARNO_LSAN_OPTIONS);
    qputenv("UBSAN_OPTIONS", VARNO_UBSAN_OPTIONS);
    QApplication application(argc, argv);
    varno::applyApplicationIdentity();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
