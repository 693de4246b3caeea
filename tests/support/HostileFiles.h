#pragma once

// Files a hostile or careless hand can leave where the app reads: a sparse
// file of zeros as large as a film, random bytes under an audio name, a
// state file of nothing but brackets. Each is made in the test itself, and
// the memory reading one costs is measured with the kernel's own counters.

#include <QFile>
#include <QString>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace varno::test {

// A file of `size` zero bytes that takes no room on disk: its length is set,
// nothing is written.
inline void writeSparseFile(const QString& path, std::int64_t size)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0) << path.toStdString();
    EXPECT_EQ(::ftruncate(fd, size), 0);
    ::close(fd);
}

// `size` bytes from the standard Mersenne twister seeded with `seed`, each
// 32-bit draw stored little-endian: the same bytes on every machine.
inline void writeRandomFile(const QString& path, std::int64_t size, std::uint32_t seed)
{
    std::mt19937 generator(seed);
    std::string bytes(static_cast<std::size_t>(size), '\0');
    for (std::size_t i = 0; i < bytes.size(); i += 4) {
        const std::uint32_t draw = generator();
        const unsigned char word[4] = {static_cast<unsigned char>(draw), static_cast<unsigned char>(draw >> 8),
                                       static_cast<unsigned char>(draw >> 16), static_cast<unsigned char>(draw >> 24)};
        std::memcpy(bytes.data() + i, word, std::min<std::size_t>(4, bytes.size() - i));
    }
    std::ofstream(path.toStdString(), std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// `size` copies of `byte`, written a megabyte at a time so the test itself
// never holds the whole file.
inline void writeRepeatedByte(const QString& path, char byte, std::int64_t size)
{
    const std::vector<char> chunk(1 << 20, byte);
    std::ofstream out(path.toStdString(), std::ios::binary | std::ios::trunc);
    for (std::int64_t written = 0; written < size; written += static_cast<std::int64_t>(chunk.size()))
        out.write(chunk.data(), static_cast<std::streamsize>(std::min<std::int64_t>(static_cast<std::int64_t>(chunk.size()), size - written)));
    ASSERT_TRUE(out.good()) << path.toStdString();
}

// How far this process's peak resident memory rises above what was resident
// when the object was made. The kernel's high-water mark is reset at that
// moment, so what earlier tests of the same process used does not count.
class PeakMemoryGrowth {
public:
    PeakMemoryGrowth()
    {
        std::ofstream("/proc/self/clear_refs") << "5";
        m_start = statusBytes("VmRSS");
    }

    std::int64_t bytes() const { return statusBytes("VmHWM") - m_start; }

private:
    static std::int64_t statusBytes(const char* field)
    {
        std::ifstream status("/proc/self/status");
        const std::string prefix = std::string(field) + ':';
        for (std::string line; std::getline(status, line);) {
            if (line.rfind(prefix, 0) == 0)
                return std::stoll(line.substr(prefix.size())) * 1024;
        }
        return 0;
    }

    std::int64_t m_start = 0;
};

} // namespace varno::test
