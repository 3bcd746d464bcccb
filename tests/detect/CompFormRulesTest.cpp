#include <cstdint>

#include <gtest/gtest.h>

#include <QDateTime>
#include <QFile>
#include <QLocale>

#include "CompFormRules.h"
#include "ExpectError.h"
#include "FileExistence.h"
#include "TestSupport.h"

namespace {

using orvelle::FitRect;
using orvelle::test::ExpectError;

struct FitCase {
    const char* what;
    int pictureWidth, pictureHeight, boxWidth, boxHeight;
    TRect expected;
};

class FitRectTest : public testing::TestWithParam<FitCase> {};

TEST_P(FitRectTest, ShrinksOnlyWhatDoesNotFit)
{
    const FitCase& c = GetParam();
    EXPECT_EQ(FitRect(c.pictureWidth, c.pictureHeight, c.boxWidth, c.boxHeight), c.expected)
        << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FitRectTest,
    testing::Values(
        FitCase{"smaller picture is never enlarged", 200, 100, 400, 300, {0, 0, 200, 100}},
        FitCase{"the smaller factor serves both axes", 800, 500, 400, 300, {0, 0, 400, 250}},
        // 398/800 as a double lies just below 0.4975.
        FitCase{"double factor just below the quotient", 800, 600, 398, 486, {0, 0, 397, 298}},
        FitCase{"one third comes out a pixel short", 900, 900, 300, 300, {0, 0, 299, 299}},
        FitCase{"as wide as the box keeps factor one", 400, 200, 400, 100, {0, 0, 200, 100}},
        FitCase{"exactly the box", 400, 300, 400, 300, {0, 0, 400, 300}},
        FitCase{"only the height too large", 100, 600, 400, 300, {0, 0, 50, 300}},
        FitCase{"empty picture", 0, 0, 400, 300, {0, 0, 0, 0}},
        FitCase{"box of no size", 50, 40, 0, 0, {0, 0, 0, 0}}));

TEST(DetailLines, SizeGroupsDigitsAndEndsInByte)
{
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    EXPECT_EQ(orvelle::SizeLine(999, english), QStringLiteral("サイズ：999byte"));
    EXPECT_EQ(orvelle::SizeLine(1234567, english), QStringLiteral("サイズ：1,234,567byte"));
    EXPECT_EQ(orvelle::SizeLine(0, english), QStringLiteral("サイズ：0byte"));
    const QLocale german(QLocale::German, QLocale::Germany);
    EXPECT_EQ(orvelle::SizeLine(1234567, german), QStringLiteral("サイズ：1.234.567byte"));
    // The C locale leaves digits bare by default; the details still group them.
    EXPECT_EQ(orvelle::SizeLine(1234567, QLocale::c()), QStringLiteral("サイズ：1,234,567byte"));
    // Beyond 32 bits the true size is shown.
    EXPECT_EQ(orvelle::SizeLine(5368709120.0, english),
              QStringLiteral("サイズ：5,368,709,120byte"));
}

TEST(DetailLines, TimeIsPackedAndMidnightShowsTheDateAlone)
{
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    const QDate day(2021, 3, 4);
    EXPECT_EQ(orvelle::TimeLine(QDateTime(day, QTime(12, 34, 57, 900)), english),
              QStringLiteral("日　時：3/4/21 12:34:56 PM"));
    EXPECT_EQ(orvelle::TimeLine(QDateTime(day, QTime(9, 5, 2)), english),
              QStringLiteral("日　時：3/4/21 9:05:02 AM"));
    EXPECT_EQ(orvelle::TimeLine(QDateTime(day, QTime(0, 0)), english),
              QStringLiteral("日　時：3/4/21"));
    // Within the first two seconds the packed time is midnight too.
    EXPECT_EQ(orvelle::TimeLine(QDateTime(day, QTime(0, 0, 1, 500)), english),
              QStringLiteral("日　時：3/4/21"));
    EXPECT_EQ(orvelle::TimeLine(QDateTime(day, QTime(0, 0, 2)), english),
              QStringLiteral("日　時：3/4/21 12:00:02 AM"));
    // The long time format's time zone is left out.
    const QString japanese = orvelle::TimeLine(QDateTime(day, QTime(23, 59, 59)),
                                               QLocale(QLocale::Japanese, QLocale::Japan));
    EXPECT_TRUE(japanese.contains(u"58")) << japanese.toStdString();
    EXPECT_FALSE(japanese.contains(u"59秒") || japanese.contains(u"JST") ||
                 japanese.contains(u"UTC"))
        << japanese.toStdString();
}

TEST(DetailLines, NameAndDimensions)
{
    EXPECT_EQ(orvelle::NameLine(QStringLiteral("/a/b.jpg")), QStringLiteral("ﾌｧｲﾙ名：/a/b.jpg"));
    EXPECT_EQ(orvelle::WidthLine(640), QStringLiteral("画像幅：640"));
    EXPECT_EQ(orvelle::HeightLine(0), QStringLiteral("画像高：0"));
}

TEST(SizeOfFile, ReadsTheLengthOfRealFiles)
{
    const orvelle::test::Sandbox box;
    EXPECT_EQ(orvelle::SizeOfFile(box.WriteFile("a.bin", QByteArray(999, 'x'))), 999.0);
    EXPECT_EQ(orvelle::SizeOfFile(box.WriteFile("empty.bin")), 0.0);

    // A sparse file of 3 GiB: the size is not cut to 32 bits.
    QFile big(box("big.bin"));
    ASSERT_TRUE(big.open(QIODevice::WriteOnly));
    const std::int64_t length = std::int64_t{3} << 30;
    ASSERT_TRUE(big.resize(length));
    big.close();
    EXPECT_EQ(orvelle::SizeOfFile(big.fileName()), static_cast<double>(length));
}

TEST(SizeOfFile, FailuresAreInputOutputErrors)
{
    const orvelle::test::Sandbox box;
    const auto gone = ExpectError<orvelle::EInOutError>(
        [&] { orvelle::SizeOfFile(box("gone.bin")); }, QStringLiteral("File not found"));
    if (gone) {
        EXPECT_EQ(gone->ErrorCode(), 2);
    }
    EXPECT_EQ(orvelle::InOutErrorText(4), QStringLiteral("Too many open files"));
    EXPECT_EQ(orvelle::InOutErrorText(3), QStringLiteral("Invalid filename"));
    EXPECT_EQ(orvelle::InOutErrorText(28), QStringLiteral("I/O error 28"));
    const QString locked = box.WriteFile("locked.bin", "abc");
    QFile::setPermissions(locked, QFileDevice::Permissions{});
    if (QFile(locked).open(QIODevice::ReadOnly))
        GTEST_SKIP() << "running with rights that ignore permissions";
    ExpectError<orvelle::EInOutError>([&] { orvelle::SizeOfFile(locked); },
                                      QStringLiteral("File access denied"));
}

TEST(FileExistence, WriteTimeBefore1980Fails)
{
    const orvelle::test::Sandbox box;
    const QString path = box.WriteFile("old.jpg", "x");
    EXPECT_TRUE(orvelle::FileExists(path));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_TRUE(file.setFileTime(QDateTime(QDate(1979, 12, 31), QTime(12, 0)),
                                 QFileDevice::FileModificationTime));
    file.close();
    EXPECT_FALSE(orvelle::FileExists(path));
}

} // namespace
