// SPDX-License-Identifier: MIT
// The file layer: line input rules, decoding, names with either separator,
// listings with hidden files, picture loading, and files that are no plain
// files or are too large.
#include "files.h"
#include "formserror.h"
#include "fifo.h"

#include <QBuffer>
#include <QFile>
#include <QImageWriter>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

QString writeFile(const QTemporaryDir &dir, const QString &name, const QByteArray &bytes)
{
    const QString path = dir.path() + QLatin1Char('/') + name;
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(bytes);
    return path;
}

QStringList readLines(const QTemporaryDir &dir, const QByteArray &bytes)
{
    const QString path = writeFile(dir, QStringLiteral("lines.txt"), bytes);
    FileTable files;
    files.Open(path, 1);
    QStringList lines;
    while (!files.Eof(1))
        lines << files.LineInput(1);
    files.Close(1);
    return lines;
}

int errorNumber(const std::function<void()> &f)
{
    try {
        f();
    } catch (const FormsError &e) {
        return e.Number;
    }
    return 0;
}

TEST(Files, LineInputEndsLinesAtCrCrlfOrLf)
{
    QTemporaryDir dir;
    EXPECT_EQ(readLines(dir, "A\r\nB\rC"), (QStringList{"A", "B", "C"}));
    EXPECT_EQ(readLines(dir, "A\r\nB\r\n"), (QStringList{"A", "B"})) << "a final terminator adds no line";
    EXPECT_EQ(readLines(dir, "A\nB\n"), (QStringList{"A", "B"})) << "Linux line ends";
    EXPECT_EQ(readLines(dir, "A\nB\r\nC\rD"), (QStringList{"A", "B", "C", "D"})) << "mixed line ends";
    EXPECT_EQ(readLines(dir, "A\n\rB"), (QStringList{"A", "", "B"})) << "LF CR is two line ends";
    EXPECT_EQ(readLines(dir, "\r\nA\r\r\n"), (QStringList{"", "A", ""}));
    EXPECT_EQ(readLines(dir, ""), QStringList{});
    EXPECT_EQ(readLines(dir, " A ,B\r\n"), (QStringList{" A ,B"}));

    FileTable files;
    EXPECT_EQ(errorNumber([&] { files.Eof(1); }), 52);
    EXPECT_EQ(errorNumber([&] { files.Open(dir.path() + "/missing.txt", 1); }), 53);
    EXPECT_EQ(errorNumber([&] { files.Open(dir.path(), 1); }), 75) << "a folder is not a text file";
    const QString path = writeFile(dir, QStringLiteral("one.txt"), "X");
    files.Open(path, 1);
    EXPECT_EQ(errorNumber([&] { files.Open(path, 1); }), 55);
    EXPECT_EQ(files.LineInput(1), "X");
    EXPECT_EQ(errorNumber([&] { files.LineInput(1); }), 62);
}

TEST(Files, TextIsUtf8WhenValidElseWindows1252)
{
    EXPECT_EQ(decodeText("\xEF\xBB\xBF"
                         "Cura\xC3\xA7"
                         "ao"),
              QString::fromUtf8("Cura\xC3\xA7"
                                "ao"));
    EXPECT_EQ(decodeText("Cura\xC3\xA7"
                         "ao"),
              QString::fromUtf8("Cura\xC3\xA7"
                                "ao"));
    EXPECT_EQ(decodeText("Cura\xE7"
                         "ao \x80 \x9C"),
              QString::fromUtf8("Cura\xC3\xA7"
                                "ao \xE2\x82\xAC \xC5\x93"));
    EXPECT_EQ(decodeText("Plain ASCII"), QStringLiteral("Plain ASCII"));
}

TEST(Files, SplitAndTrimFollowTheRuntime)
{
    EXPECT_TRUE(Split(QString(), ",").isEmpty()) << "an empty text has no pieces";
    EXPECT_EQ(Split(",B", ","), (QStringList{"", "B"}));
    EXPECT_EQ(Split("A,B,C", ","), (QStringList{"A", "B", "C"}));
    EXPECT_EQ(Split("A", ","), QStringList{"A"});
    EXPECT_EQ(trimBlanks("  A B  "), "A B");
    EXPECT_EQ(trimBlanks("\tA "), "\tA") << "only blanks are trimmed";
}

TEST(Files, NamesListingsAndDates)
{
    QTemporaryDir dir;
    QDir(dir.path()).mkpath("x");
    writeFile(dir, "x/o.cjs", "a {}");
    EXPECT_EQ(resolvePath("/a\\b/c\\d"), "/a/b/c/d");
    EXPECT_EQ(Dir(dir.path() + "\\x\\o.cjs"), "o.cjs");
    EXPECT_EQ(Dir(dir.path() + "\\x"), "") << "folders are not listed with normal attributes";
    EXPECT_EQ(Dir(dir.path() + "\\x", vbDirectory), "x");
    EXPECT_EQ(Dir(dir.path() + "\\x\\none.cjs"), "");

    writeFile(dir, "x/.hidden", "other\no.cjs\n");
    EXPECT_EQ(Dir(dir.path() + "\\x\\o.cjs"), "") << "listed in .hidden";
    EXPECT_EQ(Dir(dir.path() + "\\x\\o.cjs", vbHidden), "o.cjs");
    writeFile(dir, ".dotfile", "");
    EXPECT_EQ(Dir(dir.path() + "/.dotfile"), "");

    EXPECT_TRUE(FileDateTime(dir.path() + "\\x\\o.cjs").isValid()) << "hidden files have dates too";
    EXPECT_EQ(errorNumber([&] { FileDateTime(dir.path() + "\\missing"); }), 53);
}

TEST(Files, PicturesLoadOrFailClearly)
{
    QTemporaryDir dir;
    const QString text = writeFile(dir, "HAND-M.CUR", "this is not a picture");
    EXPECT_EQ(errorNumber([&] { LoadPicture(text); }), 481);
    EXPECT_EQ(errorNumber([&] { LoadPicture(dir.path() + "/missing.cur"); }), 53);

    // A cursor file: an icon file of type 2 whose header carries the hotspot.
    QImage img(32, 32, QImage::Format_ARGB32);
    img.fill(Qt::red);
    QByteArray ico;
    QBuffer buffer(&ico);
    buffer.open(QIODevice::WriteOnly);
    ASSERT_TRUE(QImageWriter(&buffer, "ico").write(img));
    ico[2] = 2;
    ico[10] = 5, ico[11] = 0, ico[12] = 9, ico[13] = 0;
    const StdPicture cursor = LoadPicture(writeFile(dir, "c.CUR", ico));
    EXPECT_EQ(cursor.image.size(), QSize(32, 32));
    EXPECT_EQ(cursor.hotspot, QPoint(5, 9));
    ico[11] = char(0xFF);
    EXPECT_EQ(LoadPicture(writeFile(dir, "far.CUR", ico)).hotspot, QPoint(31, 9)) << "kept inside the picture";

    // Every kind is read for what its bytes are, whatever the file is called;
    // a kind the first bytes do not tell is still found from the content.
    for (const char *kind : {"png", "jpeg", "bmp", "ico", "ppm"}) {
        QByteArray bytes;
        QBuffer out(&bytes);
        out.open(QIODevice::WriteOnly);
        ASSERT_TRUE(QImageWriter(&out, kind).write(img.convertToFormat(QImage::Format_RGB32))) << kind;
        EXPECT_EQ(pictureFormat(bytes), QByteArray(kind) == "ppm" ? QByteArray() : QByteArray(kind));
        const StdPicture p = LoadPicture(writeFile(dir, "HAND-M.CUR", bytes));
        EXPECT_EQ(p.image.size(), QSize(32, 32)) << kind;
        EXPECT_GT(p.image.pixelColor(16, 16).red(), 250) << kind;
        EXPECT_EQ(p.hotspot, QPoint(-1, -1)) << kind << ": only cursors have a hotspot";
    }
    EXPECT_EQ(pictureFormat("GIF89a\x20\0"), "gif") << "Qt reads GIF but does not write it";
    // First bytes that promise a kind the rest does not keep.
    EXPECT_EQ(errorNumber([&] { LoadPicture(writeFile(dir, "bm.cur", "BM but nothing else")); }), 481);
    EXPECT_EQ(errorNumber([&] { LoadPicture(writeFile(dir, "ff.cur", QByteArray("\xff\xd8\xff\xe0junk"))); }), 481);
}

TEST(Files, OnlyRegularFilesWithinTheLimitAreRead)
{
    QTemporaryDir dir;
    QByteArray bytes;
    const QString small = writeFile(dir, "small.txt", "abc");
    EXPECT_EQ(readRegularFile(small, 3, bytes), FileProblem::None);
    EXPECT_EQ(bytes, "abc");
    EXPECT_EQ(readRegularFile(small, 2, bytes), FileProblem::TooLarge);
    EXPECT_TRUE(bytes.isEmpty());
    EXPECT_EQ(readRegularFile(dir.path() + "/missing", 10, bytes), FileProblem::Missing);
    EXPECT_EQ(readRegularFile(dir.path(), 10, bytes), FileProblem::NotAFile);

    // Devices never end: refused at once, not read until memory runs out.
    ASSERT_TRUE(QFile::link("/dev/zero", dir.path() + "/zero"));
    EXPECT_EQ(readRegularFile(dir.path() + "/zero", 10, bytes), FileProblem::NotAFile);
    EXPECT_EQ(readRegularFile("/dev/urandom", filelimits::kSound, bytes), FileProblem::NotAFile);

    // A FIFO nobody writes to is refused without waiting for a writer.
    {
        FifoWatchdog fifo(dir.path() + "/pipe");
        ASSERT_TRUE(fifo.made());
        EXPECT_EQ(readRegularFile(dir.path() + "/pipe", 10, bytes), FileProblem::NotAFile);
        EXPECT_FALSE(fifo.released());
    }

    // A large sparse file is refused without reading it.
    const QString large = writeFile(dir, "large.txt", "");
    ASSERT_TRUE(QFile::resize(large, filelimits::kText + 1));
    EXPECT_EQ(readRegularFile(large, filelimits::kText, bytes), FileProblem::TooLarge);
    ASSERT_TRUE(QFile::resize(large, filelimits::kText));
    EXPECT_EQ(readRegularFile(large, filelimits::kText, bytes), FileProblem::None);
    EXPECT_EQ(bytes.size(), filelimits::kText);

    EXPECT_EQ(describeFileProblem(FileProblem::TooLarge, 1 << 20), "is larger than 1 MiB");
    EXPECT_EQ(describeFileProblem(FileProblem::NotAFile, 1 << 20), "is not a regular file");
    EXPECT_EQ(fileProblemError(FileProblem::Missing).Number, 53);
    EXPECT_EQ(fileProblemError(FileProblem::NotAFile).Number, 75);
}

TEST(Files, LineInputPicturesAndListingsRefuseHostileFiles)
{
    QTemporaryDir dir;
    FileTable files;
    ASSERT_TRUE(QFile::link("/dev/zero", dir.path() + "/zero.txt"));
    EXPECT_EQ(errorNumber([&] { files.Open(dir.path() + "\\zero.txt", 1); }), 75);
    EXPECT_EQ(errorNumber([&] { LoadPicture(dir.path() + "/zero.txt"); }), 75);
    const QString large = writeFile(dir, "large.txt", "");
    QFile::resize(large, filelimits::kText + 1);
    EXPECT_EQ(errorNumber([&] { files.Open(large, 1); }), 75);
    EXPECT_EQ(errorNumber([&] { files.Eof(1); }), 52) << "nothing stays open";
    {
        FifoWatchdog fifo(dir.path() + "/pipe.txt");
        EXPECT_EQ(errorNumber([&] { files.Open(dir.path() + "/pipe.txt", 1); }), 75);
        EXPECT_EQ(errorNumber([&] { LoadPicture(dir.path() + "/pipe.txt"); }), 75);
        EXPECT_FALSE(fifo.released()) << "waited for a writer";
    }

    // A hidden-files listing that is a FIFO or a device hides nothing and
    // does not stall the listing.
    QDir(dir.path()).mkpath("x");
    writeFile(dir, "x/o.cjs", "a {}");
    {
        FifoWatchdog fifo(dir.path() + "/x/.hidden");
        EXPECT_EQ(Dir(dir.path() + "\\x\\o.cjs"), "o.cjs");
        EXPECT_FALSE(fifo.released()) << "waited for a writer";
    }
    QFile::remove(dir.path() + "/x/.hidden");
    ASSERT_TRUE(QFile::link("/dev/zero", dir.path() + "/x/.hidden"));
    EXPECT_EQ(Dir(dir.path() + "\\x\\o.cjs"), "o.cjs");

    // A few bytes that claim a huge picture are not decoded.
    QImage tall(2, filelimits::kPictureSide + 1, QImage::Format_Mono);
    tall.fill(0);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    ASSERT_TRUE(QImageWriter(&buffer, "png").write(tall));
    EXPECT_LT(png.size(), 4096);
    EXPECT_EQ(errorNumber([&] { LoadPicture(writeFile(dir, "tall.png", png)); }), 481);
}

}  // namespace
