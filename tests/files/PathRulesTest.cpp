#include <string>

#include <gtest/gtest.h>

#include <QString>

#include "PathRules.h"

namespace orvelle {
namespace {

// Both separator sets are spelled out, so the Windows rules are checked on
// every platform.
constexpr char16_t kUnix[] = u"/";
constexpr char16_t kWindows[] = u"\\/:";

std::string Utf8(const QString& text)
{
    return text.toStdString();
}

struct ExtRow {
    const char16_t* path;
    const char16_t* unixExt;    // with "/" as the only separator
    const char16_t* windowsExt; // with "\", "/" and ":"
};

TEST(PathRulesTest, ExtractFileExtWithBothSeparatorSets)
{
    const ExtRow rows[] = {
        {u"C:\\a\\photo.JPG", u".JPG", u".JPG"},
        {u"C:\\a\\b.tar.gz", u".gz", u".gz"},
        {u"C:\\a\\readme", u"", u""},
        // A backslash is an ordinary character in a Linux name.
        {u"C:\\a.b\\readme", u".b\\readme", u""},
        {u"C:\\a\\name.", u".", u"."},
        {u"/a.b/readme", u"", u""},
        {u"/home/u/photo.jpeg", u".jpeg", u".jpeg"},
        // The drive colon ends a name on Windows only.
        {u"a.b:c", u".b:c", u""},
        {u"C:x.bmp", u".bmp", u".bmp"},
        {u"", u"", u""},
        {u".", u".", u"."},
        {u"/home/u/.hidden", u".hidden", u".hidden"},
        {u"/home/u/..", u".", u"."},
        {u"/写真/休日.jpg", u".jpg", u".jpg"},
        {u"/フォルダ.d/表", u"", u""},
        {u"C:\\フォルダ.d\\表", u".d\\表", u""},
        {u"/画像/表.ＪＰＧ", u".ＪＰＧ", u".ＪＰＧ"},
        {u"/画像/表.画像", u".画像", u".画像"},
        // Characters outside the basic plane are two code units; neither
        // half may be taken for a dot or a separator, nor split off.
        {u"/𠮷野家/𠮷.bmp", u".bmp", u".bmp"},
        {u"/a/b.𠮷", u".𠮷", u".𠮷"},
        {u"/a.𠮷/𠮷", u"", u""},
    };
    for (const ExtRow& row : rows) {
        const QString path = QString::fromUtf16(row.path);
        SCOPED_TRACE(Utf8(path));
        EXPECT_EQ(Utf8(ExtractFileExt(path, kUnix)), Utf8(QString::fromUtf16(row.unixExt)));
        EXPECT_EQ(Utf8(ExtractFileExt(path, kWindows)), Utf8(QString::fromUtf16(row.windowsExt)));
    }
}

TEST(PathRulesTest, DefaultSeparatorsAreThePlatformsOwn)
{
#ifdef _WIN32
    EXPECT_EQ(Utf8(PathSeparators().toString()), Utf8(QString::fromUtf16(kWindows)));
#else
    EXPECT_EQ(Utf8(PathSeparators().toString()), "/");
    EXPECT_EQ(Utf8(ExtractFileExt(QStringLiteral("C:\\a.b\\readme"))), ".b\\readme");
#endif
    EXPECT_EQ(Utf8(ExtractFileExt(QStringLiteral("/写真/休日.JPG"))), ".JPG");
}

struct ChangeRow {
    const char16_t* path;
    const char16_t* ext;
    const char16_t* separators;
    const char16_t* expected;
};

TEST(PathRulesTest, ChangeFileExt)
{
    const ChangeRow rows[] = {
        {u"/opt/orvelle/Orvelle", u".ini", kUnix, u"/opt/orvelle/Orvelle.ini"},
        {u"/opt/orvelle/Orvelle", u".ext", kUnix, u"/opt/orvelle/Orvelle.ext"},
        {u"C:\\Program Files\\Orvelle.exe", u".ini", kWindows, u"C:\\Program Files\\Orvelle.ini"},
        {u"C:\\Program Files\\Orvelle.exe", u".ext", kWindows, u"C:\\Program Files\\Orvelle.ext"},
        // A dot in a folder name is not the file's extension.
        {u"/opt/v1.2/orvelle", u".ini", kUnix, u"/opt/v1.2/orvelle.ini"},
        {u"C:\\v1.2\\orvelle", u".ini", kWindows, u"C:\\v1.2\\orvelle.ini"},
        {u"C:\\v1.2\\orvelle", u".ini", kUnix, u"C:\\v1.ini"},
        {u"/a/b.tar.gz", u".ini", kUnix, u"/a/b.tar.ini"},
        {u"/a/name.", u".ini", kUnix, u"/a/name.ini"},
        {u"/a/photo.jpg", u"", kUnix, u"/a/photo"},
        {u"/写真/画像.exe", u".ini", kUnix, u"/写真/画像.ini"},
        {u"/写真.d/画像", u".ext", kUnix, u"/写真.d/画像.ext"},
    };
    for (const ChangeRow& row : rows) {
        const QString path = QString::fromUtf16(row.path);
        SCOPED_TRACE(Utf8(path));
        EXPECT_EQ(Utf8(ChangeFileExt(path, QString::fromUtf16(row.ext), row.separators)),
                  Utf8(QString::fromUtf16(row.expected)));
    }
}

struct JoinRow {
    const char16_t* folder;
    const char16_t* name;
    const char16_t* separators;
    const char16_t* expected;
};

TEST(PathRulesTest, JoinPathNeverDoublesTheSeparator)
{
    const JoinRow rows[] = {
        {u"/", u"a", kUnix, u"/a"},
        {u"/tmp", u"a", kUnix, u"/tmp/a"},
        {u"/tmp/", u"a", kUnix, u"/tmp/a"},
        {u"/写真", u"休日.jpg", kUnix, u"/写真/休日.jpg"},
        {u"C:\\", u"a", kWindows, u"C:\\a"},
        {u"C:\\photos", u"a", kWindows, u"C:\\photos\\a"},
        {u"C:/photos/", u"a", kWindows, u"C:/photos/a"},
        // A drive cut to its letter and colon still gets its backslash, so a
        // scan of the drive root builds C:\name and not the drive-relative
        // C:name.
        {u"C:", u"a", kWindows, u"C:\\a"},
        // On Linux a backslash belongs to the name.
        {u"/tmp\\", u"a", kUnix, u"/tmp\\/a"},
    };
    for (const JoinRow& row : rows) {
        const QString folder = QString::fromUtf16(row.folder);
        SCOPED_TRACE(Utf8(folder));
        EXPECT_EQ(Utf8(JoinPath(folder, QString::fromUtf16(row.name), row.separators)),
                  Utf8(QString::fromUtf16(row.expected)));
    }
}

} // namespace
} // namespace orvelle
