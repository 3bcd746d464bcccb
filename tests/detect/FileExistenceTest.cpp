#include <ctime>
#include <string>

#include <gtest/gtest.h>

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QFile>
#include <QTime>

#include "FileExistence.h"
#include "TestSupport.h"

namespace {

using orvelle::FileExists;
using orvelle::test::Sandbox;

// Runs a test in another time zone (POSIX zone text, no zone files needed)
// and puts the old one back afterwards.
class ZoneScope {
public:
    explicit ZoneScope(const char* zone)
        : had_(qEnvironmentVariableIsSet("TZ")), old_(qgetenv("TZ"))
    {
        qputenv("TZ", zone);
        tzset();
    }
    ~ZoneScope()
    {
        had_ ? qputenv("TZ", old_) : qunsetenv("TZ");
        tzset();
    }
    ZoneScope(const ZoneScope&) = delete;
    ZoneScope& operator=(const ZoneScope&) = delete;

private:
    bool had_;
    QByteArray old_;
};

bool SetLastWrite(const QString& path, const QDateTime& when)
{
    QFile file(path);
    return file.open(QIODevice::ReadWrite) &&
           file.setFileTime(when, QFileDevice::FileModificationTime);
}

TEST(FileExistence, KindsOfEntries)
{
    const Sandbox box;
    const QString file = box.WriteFile(QStringLiteral("画像 1.jpg"), "x");
    const QString empty = box.WriteFile(QStringLiteral("empty.bmp"));
    const QString folder = box.MakeDir(QStringLiteral("folder.jpg"));
    ASSERT_TRUE(QFile::link(file, box(QStringLiteral("link.jpg"))));
    ASSERT_TRUE(QFile::link(box(QStringLiteral("gone.jpg")), box(QStringLiteral("broken.jpg"))));
    ASSERT_TRUE(QFile::link(folder, box(QStringLiteral("folderlink"))));

    EXPECT_TRUE(FileExists(file));
    EXPECT_TRUE(FileExists(empty));
    EXPECT_FALSE(FileExists(box(QStringLiteral("missing.jpg"))));
    EXPECT_FALSE(FileExists(folder));
    EXPECT_TRUE(FileExists(box(QStringLiteral("link.jpg"))));
    EXPECT_FALSE(FileExists(box(QStringLiteral("broken.jpg"))));
    EXPECT_FALSE(FileExists(box(QStringLiteral("folderlink"))));
    EXPECT_FALSE(FileExists(QString()));
    // A group node's text is no path of an existing file.
    EXPECT_FALSE(FileExists(QStringLiteral("00000001")));
}

struct TimeCase {
    const char* name;
    QDate date;
    QTime time;
    bool exists;
};

class LastWriteTime : public testing::TestWithParam<const char*> {};

// The limits lie on local time: east of Greenwich 1980-01-01 00:00 local is
// still 1979 in UTC, west of it 2107-12-31 23:59:58 local is already 2108.
TEST_P(LastWriteTime, MustFitThePackedYearsInLocalTime)
{
    const ZoneScope zone(GetParam());
    const TimeCase cases[] = {
        {"last second of 1979", QDate(1979, 12, 31), QTime(23, 59, 59), false},
        {"first second of 1980", QDate(1980, 1, 1), QTime(0, 0, 0), true},
        {"an ordinary day", QDate(2004, 6, 15), QTime(12, 34, 57), true},
        {"last even second of 2107", QDate(2107, 12, 31), QTime(23, 59, 58), true},
        {"first second of 2108", QDate(2108, 1, 1), QTime(0, 0, 0), false},
    };
    const Sandbox box;
    const QString file = box.WriteFile(QStringLiteral("a.jpg"), "x");
    for (const TimeCase& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(SetLastWrite(file, QDateTime(c.date, c.time, Qt::LocalTime)));
        EXPECT_EQ(FileExists(file), c.exists);
    }
}

INSTANTIATE_TEST_SUITE_P(Zones, LastWriteTime, testing::Values("UTC0", "JST-9", "HST10"),
                         [](const testing::TestParamInfo<const char*>& info) {
                             return std::string(info.param).substr(0, 3);
                         });

TEST(FileExistence, LinkIsJudgedByItsTargetsTime)
{
    const Sandbox box;
    const QString target = box.WriteFile(QStringLiteral("old.jpg"), "x");
    ASSERT_TRUE(SetLastWrite(target, QDateTime(QDate(1975, 5, 5), QTime(10, 0), Qt::LocalTime)));
    ASSERT_TRUE(QFile::link(target, box(QStringLiteral("new link.jpg"))));

    EXPECT_FALSE(FileExists(target));
    EXPECT_FALSE(FileExists(box(QStringLiteral("new link.jpg"))));
}

} // namespace
