// Writes a synthetic library of SONGS songs as FOLDER/tracks.json, the same
// songs the benchmarks use, so whole-process runs of varno-cli and the app
// can be timed against a large library:
//
//   make_library /tmp/big 100000
//   XDG_DATA_HOME=/tmp/xdg ... (with /tmp/xdg/OstrelMediaStudio = /tmp/big)

#include "BenchSupport.h"

#include "storage/StateCodecs.h"

#include <QCoreApplication>
#include <QDir>

#include <cstdio>
#include <string>

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: make_library FOLDER SONGS\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(folder);
    const std::vector<varno::Track> songs = varno::bench::syntheticLibrary(std::stoul(argv[2]));
    varno::json::writeTracksFile(folder + QStringLiteral("/tracks.json"), songs);
    return 0;
}
