#include "CliRunner.h"
#include "TestSupport.h"

#include <QDir>
#include <QImage>

using namespace varno;
using test::CliRun;

namespace {

class CliArtworkTest : public test::DataFolderTest {};

} // namespace

TEST_F(CliArtworkTest, WritesACoverAndPrintsItsAccent)
{
    const QTemporaryDir out;
    CliRun result = test::runCli({QStringLiteral("import"), test::fixturePath(QStringLiteral("formats/tagged.mp3")),
                                  test::fixturePath(QStringLiteral("formats/untagged.mp3"))});
    ASSERT_EQ(result.exitCode, 0) << result.err.toStdString();
    QString tagged;
    QString plain;
    for (const QString& line : test::runCli({QStringLiteral("list")}).out.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        (line.contains(QStringLiteral("Tagged Title")) ? tagged : plain) = line.section(QLatin1Char('\t'), 0, 0);

    const QString cover = out.filePath(QStringLiteral("cover.jpg"));
    result = test::runCli({QStringLiteral("artwork"), tagged, QStringLiteral("--out"), cover});
    EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();
    EXPECT_TRUE(result.out.endsWith(QStringLiteral("(2074 bytes, JPEG 300\u00D7300).\n"))) << result.out.toStdString();
    EXPECT_EQ(test::readFile(cover), test::readFile(test::fixturePath(QStringLiteral("covers/cover.jpg"))));
    // The app's cache now holds it.
    EXPECT_EQ(QDir(appFile(QStringLiteral("ArtworkCache"))).entryList(QDir::Files).size(), 1);

    result = test::runCli({QStringLiteral("accent"), tagged});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_TRUE(result.out.startsWith(QLatin1Char('#'))) << result.out.toStdString();
    result = test::runCli({QStringLiteral("accent"), plain});
    EXPECT_EQ(result.out, QStringLiteral("#80808C 0.500 0.500 0.550\n"));

    result = test::runCli({QStringLiteral("artwork"), plain, QStringLiteral("--out"), out.filePath(QStringLiteral("none.jpg"))});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(result.err.endsWith(QStringLiteral("has no artwork\n")));
    EXPECT_FALSE(QFile::exists(out.filePath(QStringLiteral("none.jpg"))));
}

TEST_F(CliArtworkTest, ASongWithoutACoverOfItsOwnGivesThePictureBesideItsFile)
{
    const QString album = scratch(QStringLiteral("Album"));
    QDir().mkpath(album);
    ASSERT_TRUE(QFile::copy(test::fixturePath(QStringLiteral("formats/untagged.mp3")), album + QStringLiteral("/untagged.mp3")));
    QImage picture(24, 12, QImage::Format_RGB32);
    picture.fill(Qt::darkGreen);
    ASSERT_TRUE(picture.save(album + QStringLiteral("/Cover.JPG"), "JPG"));
    CliRun result = test::runCli({QStringLiteral("import"), album + QStringLiteral("/untagged.mp3")});
    ASSERT_EQ(result.exitCode, 0) << result.err.toStdString();
    const QString id = test::runCli({QStringLiteral("list")}).out.section(QLatin1Char('\t'), 0, 0);

    const QString out = scratch(QStringLiteral("out.jpg"));
    result = test::runCli({QStringLiteral("artwork"), id, QStringLiteral("--out"), out});
    EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();
    EXPECT_TRUE(result.out.endsWith(QStringLiteral("JPEG 24\u00D712).\n"))) << result.out.toStdString();
    EXPECT_EQ(test::readFile(out), test::readFile(album + QStringLiteral("/Cover.JPG")));
}
