#include "TestSupport.h"

#include "platform/FileIO.h"
#include "platform/SettingsPreferencesStore.h"
#include "storage/OstrelDatabaseManager.h"

#include <QDir>
#include <QFileInfo>

#include <csignal>
#include <random>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace varno;

namespace {

// Two large, different versions of a file: a kill lands in the middle of
// writing one of them far more often than between writes.
std::string version(char fill, std::size_t size)
{
    std::string text(size, fill);
    text.front() = '[';
    text.back() = ']';
    return text;
}

} // namespace

class AtomicWriteTest : public test::DataFolderTest {};

TEST_F(AtomicWriteTest, KilledWriterLeavesTheOldOrTheNewFileNeverATornOne)
{
    const QString path = scratch(QStringLiteral("state.json"));
    const std::string first = version('a', 2 << 20);
    const std::string second = version('b', 3 << 20);
    fileio::writeFileAtomically(path, first);

    std::mt19937 random(12345);
    std::uniform_int_distribution<int> delayMicroseconds(0, 20000);
    int sawFirst = 0, sawSecond = 0;
    // On a loaded machine a save can take longer than the longest random
    // delay, so the kill could only ever land in the first save; the delay
    // grows with the rounds and the rounds go on until one save finished.
    for (int round = 0; round < 60 || (sawSecond == 0 && round < 200); ++round) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            // Only async-signal-safe work and our own plain file calls here.
            for (int i = 0;; ++i)
                fileio::writeFileAtomically(path, i % 2 ? first : second);
        }
        ::usleep(static_cast<useconds_t>(delayMicroseconds(random) + 1000 * round));
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);

        const std::optional<fileio::FileBytes> bytes = fileio::readWholeFile(path);
        ASSERT_TRUE(bytes.has_value());
        const std::string_view content = bytes->view();
        const bool isFirst = content == first;
        const bool isSecond = content == second;
        ASSERT_TRUE(isFirst || isSecond) << "round " << round << ": torn file of " << content.size() << " bytes";
        sawFirst += isFirst;
        sawSecond += isSecond;
    }
    EXPECT_GT(sawSecond, 0) << "the writer never finished a save; the test proves nothing";
    EXPECT_GT(sawFirst + sawSecond, 0);
}

TEST_F(AtomicWriteTest, ReplacingKeepsTheFileMode)
{
    const QString path = scratch(QStringLiteral("mode.json"));
    fileio::writeFileAtomically(path, "[]");
    ASSERT_TRUE(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
    fileio::writeFileAtomically(path, "[1]");
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
    EXPECT_EQ(test::readFile(path), QByteArray("[1]"));
}

TEST_F(AtomicWriteTest, NoTemporaryOfAKilledSaveSurvivesTheNextStart)
{
    QDir().mkpath(appFolder());
    const QString path = appFile(QStringLiteral("tracks.json"));
    const std::string big = version('a', 8 << 20);
    // A whole version is in place before any kill, so what the killed
    // saves may have left is judged against it.
    fileio::writeFileAtomically(path, big);
    int leftBehind = 0;
    // Rounds go on until a few kills landed inside a save: on a loaded
    // machine the child may not have begun one when the kill comes, so each
    // round gives it a little longer.
    for (int round = 0; round < 40 && leftBehind < 3; ++round) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            for (;;)
                fileio::writeFileAtomically(path, big);
        }
        ::usleep(20000 + 5000 * round);
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        leftBehind += QDir(appFolder()).entryList({QStringLiteral(".tracks.json.*")}, QDir::Hidden | QDir::Files).size();
    }
    EXPECT_GT(leftBehind, 0) << "no kill landed inside a save; the test proves nothing";

    SettingsPreferencesStore preferences;
    const OstrelDatabaseManager restarted(preferences);
    EXPECT_EQ(QDir(appFolder()).entryList({QStringLiteral(".tracks.json.*")}, QDir::Hidden | QDir::Files), QStringList());
    EXPECT_EQ(test::readFile(path).size(), qsizetype(big.size()));
}
