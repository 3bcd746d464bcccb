#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif
#include <gtest/gtest.h>

#include <QFile>

#include "Errors.h"
#include "ExactCompare.h"
#include "TestSupport.h"

using orvelle::FilesIdentical;
using orvelle::test::Sandbox;

namespace {

QString OpenError(const QString& a, const QString& b)
{
    try {
        FilesIdentical(a, b);
    } catch (const EFOpenError& e) {
        return e.Message();
    }
    return QStringLiteral("(no error)");
}

} // namespace

TEST(FilesIdentical, ComparesSizesThenEveryByte)
{
    Sandbox box;
    QByteArray big(700 * 1024 + 5, 'x'); // several blocks and a tail
    QByteArray lastDiffers = big;
    lastDiffers[lastDiffers.size() - 1] = 'y';
    QByteArray firstBlockDiffers = big;
    firstBlockDiffers[10] = 'y';
    const QString e1 = box.WriteFile("e1"), e2 = box.WriteFile("e2");
    const QString a = box.WriteFile("a", big), b = box.WriteFile("b", big);
    const QString c = box.WriteFile("c", lastDiffers), d = box.WriteFile("d", firstBlockDiffers);
    const QString shorter = box.WriteFile("short", big.left(big.size() - 1));

    EXPECT_TRUE(FilesIdentical(e1, e2));
    EXPECT_TRUE(FilesIdentical(a, b));
    EXPECT_FALSE(FilesIdentical(a, c));
    EXPECT_FALSE(FilesIdentical(a, d));
    EXPECT_FALSE(FilesIdentical(a, shorter));
    EXPECT_FALSE(FilesIdentical(shorter, a));
}

TEST(FilesIdentical, UnusableFilesNameThePathAsPassed)
{
    Sandbox box;
    const QString a = box.WriteFile("a", "1");
    const QString folder = box.MakeDir("folder");
    const QString missing = box("missing");
    EXPECT_EQ(OpenError(missing, a), QStringLiteral("ファイル %1 は開けません").arg(missing));
    EXPECT_EQ(OpenError(a, folder), QStringLiteral("ファイル %1 は開けません").arg(folder));
#ifndef _WIN32
    // A pipe would wait for a writer for ever: it is refused like a folder.
    const QString pipe = box("pipe.jpg");
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    EXPECT_EQ(OpenError(a, pipe), QStringLiteral("ファイル %1 は開けません").arg(pipe));
#endif
    // Both bad: the first is named.
    EXPECT_EQ(OpenError(folder, missing), QStringLiteral("ファイル %1 は開けません").arg(folder));
}

TEST(FilesIdentical, TheSameFileUnderASecondNameIsRefused)
{
    Sandbox box;
    const QString a = box.WriteFile("写真.jpg", "same bytes");
    const QString hard = box("hard.jpg");
    ASSERT_TRUE(QFile::link(a, box("soft.jpg")));
#ifndef _WIN32
    ASSERT_EQ(::link(QFile::encodeName(a).constData(), QFile::encodeName(hard).constData()), 0);
    EXPECT_EQ(OpenError(a, hard), QStringLiteral("ファイル %1 は開けません").arg(hard));
#endif
    const QString dotted = box("./写真.jpg");
    EXPECT_EQ(OpenError(a, dotted), QStringLiteral("ファイル %1 は開けません").arg(dotted));
    EXPECT_EQ(OpenError(a, box("soft.jpg")),
              QStringLiteral("ファイル %1 は開けません").arg(box("soft.jpg")));
}
