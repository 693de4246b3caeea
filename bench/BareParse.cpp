// The floor for whole-process runs of varno-cli: process start plus a bare
// simdjson parse of a tracks file into plain structs, nothing else.
//
//   bare_parse FOLDER/tracks.json

#include "BenchSupport.h"

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: bare_parse TRACKS_FILE\n");
        return 2;
    }
    const std::vector<varno::bench::PlainTrack> tracks = varno::bench::bareParse(QString::fromLocal8Bit(argv[1]));
    std::printf("%zu songs\n", tracks.size());
    return 0;
}
