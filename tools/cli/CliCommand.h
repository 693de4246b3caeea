#pragma once

#include <QCoroTask>
#include <QStringList>

#include <cstdio>

namespace varno::cli {

// Output streams of the CLI, so commands can be run and checked in-process.
struct Console {
    std::FILE* out = stdout;
    std::FILE* err = stderr;

    void line(const QString& text) const;
    void errorLine(const QString& text) const;
};

// `varno-cli probe FILE...`: one JSON object per file with what the media
// layer reads. Returns the exit status: 1 when any file failed.
QCoro::Task<int> probe(QStringList files, Console console);

} // namespace varno::cli
