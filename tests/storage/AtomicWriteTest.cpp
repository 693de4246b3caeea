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

unsigned modeOf(const QString& path)
{
    struct stat info {};
    EXPECT_EQ(::lstat(QFile::encodeName(path).constData(), &info), 0) << path.toStdString();
    return info.st_mode & 07777;
}

// A umask that would let everybody read new files, for as long as it lives.
class OpenUmask {
public:
    OpenUmask()
        : m_previous(::umask(0))
    {
    }
    ~OpenUmask() { ::umask(m_previous); }
    OpenUmask(const OpenUmask&) = delete;
    OpenUmask& operator=(const OpenUmask&) = delete;

private:
    mode_t m_previous;
};

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

TEST_F(AtomicWriteTest, NewFilesAndTheirTemporariesAreForTheUserAloneWhateverTheUmask)
{
    const OpenUmask umask;
    const QString path = scratch(QStringLiteral("new.json"));
    fileio::AtomicFile file(path);
    file.write("[]");
    const QStringList temporaries = QDir(QFileInfo(path).absolutePath()).entryList({QStringLiteral(".new.json.*")}, QDir::Hidden | QDir::Files);
    ASSERT_EQ(temporaries.size(), 1);
    EXPECT_EQ(modeOf(scratch(temporaries.front())), 0600u);
    file.commit();
    EXPECT_EQ(modeOf(path), 0600u);
}

TEST_F(AtomicWriteTest, ALinkInTheFilesPlaceIsReplacedAndWhatItLeadsToIsLeftAlone)
{
    const QString outside = scratch(QStringLiteral("outside.txt"));
    test::writeFile(outside, "precious");
    ASSERT_TRUE(QFile::setPermissions(outside, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther));
    const QString path = scratch(QStringLiteral("linked.json"));
    ASSERT_EQ(::symlink(QFile::encodeName(outside).constData(), QFile::encodeName(path).constData()), 0);
    fileio::writeFileAtomically(path, "[1]");
    EXPECT_EQ(test::readFile(outside), QByteArray("precious"));
    EXPECT_EQ(modeOf(outside), 0644u);
    EXPECT_TRUE(QFileInfo(path).isFile() && !QFileInfo(path).isSymLink());
    EXPECT_EQ(modeOf(path), 0600u);
    EXPECT_EQ(test::readFile(path), QByteArray("[1]"));
}

TEST_F(AtomicWriteTest, TheStateFilesTheirBackupTheLockAndTheirFolderAreForTheUserAlone)
{
    const OpenUmask umask;
    SettingsPreferencesStore preferences;
    OstrelDatabaseManager manager(preferences);
    test::await(manager.saveTracks({test::makeTrack(QStringLiteral("A"))}));
    test::await(manager.saveTracks({test::makeTrack(QStringLiteral("B"))}));
    EXPECT_EQ(modeOf(appFolder()), 0700u);
    for (const char* name : {"tracks.json", "tracks.json.bak", "playlists.json", "playback_history.json", "playback_state.json", ".state.lock"})
        EXPECT_EQ(modeOf(appFile(QString::fromLatin1(name))), 0600u) << name;
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
