#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

#include <gtest/gtest.h>

namespace varno::test {

struct CliRun {
    int exitCode = -1;
    QString out;
    QString err;
};

// Runs varno-cli to its end with standard input closed, in this process's
// environment plus `extra`.
inline CliRun runCli(const QStringList& arguments, const QProcessEnvironment& extra = {}, const QString& workingDirectory = {})
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const QString& key : extra.keys())
        environment.insert(key, extra.value(key));
    process.setProcessEnvironment(environment);
    if (!workingDirectory.isEmpty())
        process.setWorkingDirectory(workingDirectory);
    process.start(QStringLiteral(VARNO_CLI_BINARY), arguments);
    process.closeWriteChannel();
    EXPECT_TRUE(process.waitForFinished(60000));
    return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()), QString::fromUtf8(process.readAllStandardError())};
}

// One varno-cli per argument list, all started before any is waited for;
// their results in the same order.
inline std::vector<CliRun> runCliAtOnce(const std::vector<QStringList>& commands)
{
    std::vector<std::unique_ptr<QProcess>> processes;
    for (const QStringList& arguments : commands) {
        auto process = std::make_unique<QProcess>();
        process->start(QStringLiteral(VARNO_CLI_BINARY), arguments);
        process->closeWriteChannel();
        processes.push_back(std::move(process));
    }
    std::vector<CliRun> runs;
    for (const auto& process : processes) {
        EXPECT_TRUE(process->state() == QProcess::NotRunning || process->waitForFinished(120000));
        runs.push_back({process->exitCode(), QString::fromUtf8(process->readAllStandardOutput()), QString::fromUtf8(process->readAllStandardError())});
    }
    return runs;
}

// runCli for commands that play: the null output at fifty times real time.
inline CliRun runCliFast(const QStringList& arguments)
{
    QProcessEnvironment fast;
    fast.insert(QStringLiteral("VARNO_AUDIO_OUTPUT"), QStringLiteral("null"));
    fast.insert(QStringLiteral("VARNO_NULL_OUTPUT_SPEED"), QStringLiteral("50"));
    CliRun run = runCli(arguments, fast);
    // The tests run without a session bus, which the player says in one
    // line; the desktop tests check that line.
    const qsizetype notice = run.err.indexOf(QStringLiteral("No session bus: "));
    if (notice >= 0)
        run.err.remove(notice, run.err.indexOf(QLatin1Char('\n'), notice) + 1 - notice);
    return run;
}

} // namespace varno::test
