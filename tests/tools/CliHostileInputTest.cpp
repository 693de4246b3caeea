#include "CliRunner.h"
#include "TestSupport.h"

#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>
#include <unistd.h>

using namespace varno;
using test::CliRun;

namespace {

class CliHostileInputTest : public test::DataFolderTest {};

} // namespace

TEST_F(CliHostileInputTest, NamedPipesAndDevicesAreRefusedInsteadOfHanging)
{
    const QString pipe = scratch(QStringLiteral("x.mp3"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    const QString zero = scratch(QStringLiteral("zero.mp3"));
    const QString random = scratch(QStringLiteral("random.mp3"));
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), zero));
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/urandom"), random));

    const std::pair<QString, QString> items[] = {{pipe, QStringLiteral("a named pipe")}, {zero, QStringLiteral("a character device")},
                                                 {random, QStringLiteral("a character device")}};
    for (const auto& [path, kind] : items) {
        const QString reason = QStringLiteral("The file \u201C%1\u201D could not be read as audio: it is %2, not a regular file")
                                   .arg(QFileInfo(path).fileName(), kind);
        for (const char* command : {"probe", "import", "play"}) {
            SCOPED_TRACE(command + (' ' + path.toStdString()));
            const CliRun result = test::runCli({QLatin1String(command), path});
            EXPECT_EQ(result.exitCode, 1);
            EXPECT_TRUE((result.out + result.err).contains(reason)) << (result.out + result.err).toStdString();
        }
    }
    EXPECT_EQ(test::runCli({QStringLiteral("list")}).out, QString());
}
