#pragma once

#include "platform/AudioPlayer.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QThread>

#include <gtest/gtest.h>

#include <vector>

namespace varno::test {

// Sets an environment variable for the life of the object, then puts back
// what was there (or removes it).
class ScopedEnvironment {
public:
    ScopedEnvironment(const char* name, const QByteArray& value)
        : m_name(name)
        , m_hadValue(qEnvironmentVariableIsSet(name))
        , m_old(qgetenv(name))
    {
        qputenv(name, value);
    }
    // Unsets it.
    explicit ScopedEnvironment(const char* name)
        : m_name(name)
        , m_hadValue(qEnvironmentVariableIsSet(name))
        , m_old(qgetenv(name))
    {
        qunsetenv(name);
    }
    ~ScopedEnvironment()
    {
        if (m_hadValue)
            qputenv(m_name, m_old);
        else
            qunsetenv(m_name);
    }

    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    const char* m_name;
    bool m_hadValue;
    QByteArray m_old;
};

// Remembers every end-of-file notification, and checks it came on the main thread.
class RecordingObserver final : public AudioPlayerObserver {
public:
    struct Finish {
        AudioPlayer* player;
        bool successfully;
    };

    void audioPlayerDidFinishPlaying(AudioPlayer& player, bool successfully) override
    {
        EXPECT_EQ(QThread::currentThread(), QCoreApplication::instance()->thread());
        finishes.push_back({&player, successfully});
    }

    std::vector<Finish> finishes;
};

} // namespace varno::test
