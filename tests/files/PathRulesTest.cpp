#include <ostream>
#include <string>

#include <gtest/gtest.h>

#include <QString>

#include "PathRules.h"
#include "RowName.h"

namespace orvelle {
namespace {

using test::RowName;

// Both separator sets are spelled out, so the Windows rules are checked on
// every platform.
constexpr char16_t kUnix[] = u"/";
constexpr char16_t kWindows[] = u"\\/:";

std::string Utf8(const QString& text)
{
    return text.toStdString();
}

std::string Utf8(const char16_t* text)
{
    return Utf8(QString::fromUtf16(text));
}

struct ExtRow {
    const char* what;
    const char16_t* path;
    const char16_t* unixExt;    // with "/" as the only separator
    const char16_t* windowsExt; // with "\", "/" and ":"
};

const ExtRow kExtRows[] = {
    {"drive path, capital extension", u"C:\\a\\photo.JPG", u".JPG", u".JPG"},
    {"only the last extension", u"C:\\a\\b.tar.gz", u".gz", u".gz"},
    {"no extension", u"C:\\a\\readme", u"", u""},
    // A backslash is an ordinary character in a Linux name.
    {"backslash folder with a dot", u"C:\\a.b\\readme", u".b\\readme", u""},
    {"trailing dot", u"C:\\a\\name.", u".", u"."},
    {"dot in a folder name", u"/a.b/readme", u"", u""},
    {"four-letter extension", u"/home/u/photo.jpeg", u".jpeg", u".jpeg"},
    // The drive colon ends a name on Windows only.
    {"colon after the dot", u"a.b:c", u".b:c", u""},
    {"drive-relative name", u"C:x.bmp", u".bmp", u".bmp"},
    {"empty path", u"", u"", u""},
    {"lone dot", u".", u".", u"."},
    {"hidden file", u"/home/u/.hidden", u".hidden", u".hidden"},
    {"parent folder", u"/home/u/..", u".", u"."},
    {"Japanese folder and name", u"/写真/休日.jpg", u".jpg", u".jpg"},
    {"dot in a Japanese folder name", u"/フォルダ.d/表", u"", u""},
    {"dot in a Japanese backslash folder", u"C:\\フォルダ.d\\表", u".d\\表", u""},
    {"full-width extension", u"/画像/表.ＪＰＧ", u".ＪＰＧ", u".ＪＰＧ"},
    {"Japanese extension", u"/画像/表.画像", u".画像", u".画像"},
    // Characters outside the basic plane are two code units; neither
    // half may be taken for a dot or a separator, nor split off.
    {"surrogate pairs before the extension", u"/𠮷野家/𠮷.bmp", u".bmp", u".bmp"},
    {"surrogate pair as the extension", u"/a/b.𠮷", u".𠮷", u".𠮷"},
    {"surrogate pairs after a folder dot", u"/a.𠮷/𠮷", u"", u""},
};

void PrintTo(const ExtRow& row, std::ostream* out)
{
    *out << row.what << ": " << Utf8(row.path);
}

class ExtractFileExtRows : public testing::TestWithParam<ExtRow> {};

TEST_P(ExtractFileExtRows, WithBothSeparatorSets)
{
    const ExtRow& row = GetParam();
    const QString path = QString::fromUtf16(row.path);
    EXPECT_EQ(Utf8(ExtractFileExt(path, kUnix)), Utf8(row.unixExt));
    EXPECT_EQ(Utf8(ExtractFileExt(path, kWindows)), Utf8(row.windowsExt));
}

INSTANTIATE_TEST_SUITE_P(PathRules, ExtractFileExtRows, testing::ValuesIn(kExtRows),
                         [](const testing::TestParamInfo<ExtRow>& info) {
                             return RowName(info.index, info.param.what);
                         });

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
    const char* what;
    const char16_t* path;
    const char16_t* ext;
    const char16_t* separators;
    const char16_t* expected;
};

const ChangeRow kChangeRows[] = {
    {"settings file beside a Linux program", u"/opt/orvelle/Orvelle", u".ini", kUnix,
     u"/opt/orvelle/Orvelle.ini"},
    {"extension list beside a Linux program", u"/opt/orvelle/Orvelle", u".ext", kUnix,
     u"/opt/orvelle/Orvelle.ext"},
    {"settings file beside a Windows program", u"C:\\Program Files\\Orvelle.exe", u".ini", kWindows,
     u"C:\\Program Files\\Orvelle.ini"},
    {"extension list beside a Windows program", u"C:\\Program Files\\Orvelle.exe", u".ext",
     kWindows, u"C:\\Program Files\\Orvelle.ext"},
    // A dot in a folder name is not the file's extension.
    {"dot in a Linux folder name", u"/opt/v1.2/orvelle", u".ini", kUnix, u"/opt/v1.2/orvelle.ini"},
    {"dot in a Windows folder name", u"C:\\v1.2\\orvelle", u".ini", kWindows,
     u"C:\\v1.2\\orvelle.ini"},
    {"backslash path under Linux rules", u"C:\\v1.2\\orvelle", u".ini", kUnix, u"C:\\v1.ini"},
    {"only the last extension is changed", u"/a/b.tar.gz", u".ini", kUnix, u"/a/b.tar.ini"},
    {"trailing dot", u"/a/name.", u".ini", kUnix, u"/a/name.ini"},
    {"empty extension removes it", u"/a/photo.jpg", u"", kUnix, u"/a/photo"},
    {"Japanese name", u"/写真/画像.exe", u".ini", kUnix, u"/写真/画像.ini"},
    {"Japanese folder with a dot", u"/写真.d/画像", u".ext", kUnix, u"/写真.d/画像.ext"},
};

void PrintTo(const ChangeRow& row, std::ostream* out)
{
    *out << row.what << ": " << Utf8(row.path) << " to " << Utf8(row.ext);
}

class ChangeFileExtRows : public testing::TestWithParam<ChangeRow> {};

TEST_P(ChangeFileExtRows, ReplacesOnlyTheNamesExtension)
{
    const ChangeRow& row = GetParam();
    EXPECT_EQ(Utf8(ChangeFileExt(QString::fromUtf16(row.path), QString::fromUtf16(row.ext),
                                 row.separators)),
              Utf8(row.expected));
}

INSTANTIATE_TEST_SUITE_P(PathRules, ChangeFileExtRows, testing::ValuesIn(kChangeRows),
                         [](const testing::TestParamInfo<ChangeRow>& info) {
                             return RowName(info.index, info.param.what);
                         });

struct JoinRow {
    const char* what;
    const char16_t* folder;
    const char16_t* name;
    const char16_t* separators;
    const char16_t* expected;
};

const JoinRow kJoinRows[] = {
    {"Linux root", u"/", u"a", kUnix, u"/a"},
    {"Linux folder", u"/tmp", u"a", kUnix, u"/tmp/a"},
    {"Linux folder with its separator", u"/tmp/", u"a", kUnix, u"/tmp/a"},
    {"Japanese folder and name", u"/写真", u"休日.jpg", kUnix, u"/写真/休日.jpg"},
    {"drive root", u"C:\\", u"a", kWindows, u"C:\\a"},
    {"Windows folder", u"C:\\photos", u"a", kWindows, u"C:\\photos\\a"},
    {"forward slash ends a Windows folder", u"C:/photos/", u"a", kWindows, u"C:/photos/a"},
    // A drive cut to its letter and colon still gets its backslash, so a
    // scan of the drive root builds C:\name and not the drive-relative
    // C:name.
    {"bare drive", u"C:", u"a", kWindows, u"C:\\a"},
    // On Linux a backslash belongs to the name.
    {"backslash at the end of a Linux folder", u"/tmp\\", u"a", kUnix, u"/tmp\\/a"},
};

void PrintTo(const JoinRow& row, std::ostream* out)
{
    *out << row.what << ": " << Utf8(row.folder) << " and " << Utf8(row.name);
}

class JoinPathRows : public testing::TestWithParam<JoinRow> {};

TEST_P(JoinPathRows, NeverDoublesTheSeparator)
{
    const JoinRow& row = GetParam();
    EXPECT_EQ(Utf8(JoinPath(QString::fromUtf16(row.folder), QString::fromUtf16(row.name),
                            row.separators)),
              Utf8(row.expected));
}

INSTANTIATE_TEST_SUITE_P(PathRules, JoinPathRows, testing::ValuesIn(kJoinRows),
                         [](const testing::TestParamInfo<JoinRow>& info) {
                             return RowName(info.index, info.param.what);
                         });

} // namespace
} // namespace orvelle
