#include <cstdint>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include <QByteArray>
#include <QFileInfo>
#include <QString>
#include <QStringList>

#include "Errors.h"
#include "ExtensionListFile.h"
#include "IniFile.h"
#include "RowName.h"
#include "TestSupport.h"

// Readable failure messages for Qt strings.
inline void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}

inline void PrintTo(const QByteArray& bytes, std::ostream* os)
{
    *os << '"' << bytes.toPercentEncoding(" []=;$#.*/_-").toStdString() << '"';
}

namespace orvelle {
namespace {

using Failure = std::pair<std::string, QString>;
using test::RowName;

// The class name and message of the error body raises; empty when none.
template <typename Body> Failure FailureOf(Body body)
{
    try {
        body();
    } catch (const Exception& e) {
        return {e.ClassName(), e.Message()};
    }
    return {};
}

// The settings as the main window writes them when it closes.
void WriteMainWindowSettings(IniFile& ini, const QString& listPath)
{
    ini.WriteString("ExtList", "Path", listPath);
    ini.WriteInteger("Window", "Top", 120);
    ini.WriteInteger("Window", "Left", -8);
    ini.WriteInteger("Option", "Err_Count", 25);
    ini.WriteInteger("Option", "Err_Clr", 30);
}

TEST(IniFileTest, MissingFileReadsAsDefaults)
{
    test::Sandbox box;
    const IniFile ini(box("prog.ini"));
    EXPECT_EQ(ini.FileName(), box("prog.ini"));
    EXPECT_EQ(ini.ReadString("ExtList", "Path", box("prog.ext")), box("prog.ext"));
    EXPECT_EQ(ini.ReadInteger("Window", "Top", 0), 0);
    EXPECT_EQ(ini.ReadInteger("Option", "Err_Count", 25), 25);
    EXPECT_FALSE(IsExistingFile(box("prog.ini")));
}

TEST(IniFileTest, NewFileListsSectionsAndKeysInWritingOrder)
{
    test::Sandbox box;
    IniFile ini(box("prog.ini"));
    WriteMainWindowSettings(ini, "/opt/プログラム/prog.ext");
    ini.UpdateFile();
    EXPECT_EQ(box.ReadFile("prog.ini"), QByteArray("[ExtList]\r\n"
                                                   "Path=/opt/プログラム/prog.ext\r\n"
                                                   "\r\n"
                                                   "[Window]\r\n"
                                                   "Top=120\r\n"
                                                   "Left=-8\r\n"
                                                   "\r\n"
                                                   "[Option]\r\n"
                                                   "Err_Count=25\r\n"
                                                   "Err_Clr=30\r\n"));
}

TEST(IniFileTest, RoundTripMatchesNamesWithoutRegardToCase)
{
    test::Sandbox box;
    {
        IniFile ini(box("prog.ini"));
        WriteMainWindowSettings(ini, "/tmp/一覧.ext");
        ini.WriteString("Extra", "Blanks", "  kept at both ends ");
        ini.WriteInteger("option", "ERR_COUNT", 40); // replaces, does not add
        ini.UpdateFile();
    }
    const IniFile ini(box("prog.ini"));
    EXPECT_EQ(ini.ReadString("extlist", "path", {}), "/tmp/一覧.ext");
    EXPECT_EQ(ini.ReadInteger("WINDOW", "top", 0), 120);
    EXPECT_EQ(ini.ReadInteger("Window", "Left", 0), -8);
    EXPECT_EQ(ini.ReadInteger("Option", "Err_Count", 25), 40);
    EXPECT_EQ(ini.ReadInteger("Option", "Err_Clr", 25), 30);
    EXPECT_EQ(ini.ReadString("Extra", "Blanks", {}), "  kept at both ends ");
    EXPECT_EQ(box.ReadFile("prog.ini").count("Err_Count"), 1);
}

TEST(IniFileTest, RewriteKeepsWhatOthersWrote)
{
    test::Sandbox box;
    box.WriteFile("prog.ini", "; written by hand\n"
                              "\n"
                              "[window]\n"
                              "top = 5\n"
                              "; the user's own key\n"
                              "\n"
                              "; and why\n"
                              "Width=640\n"
                              "[Plugins]\n"
                              "Name=\"quoted value\"\n");
    IniFile ini(box("prog.ini"));
    EXPECT_EQ(ini.ReadInteger("Window", "Top", 0), 5);
    EXPECT_EQ(ini.ReadString("Plugins", "Name", {}), "quoted value");
    ini.WriteInteger("Window", "Top", 7);
    ini.WriteInteger("Window", "Left", 3);
    ini.WriteInteger("Option", "Err_Clr", 25);
    ini.UpdateFile();
    const QByteArray expected("; written by hand\r\n"
                              "\r\n"
                              "[window]\r\n"
                              "top=7\r\n"
                              "\r\n"
                              "; the user's own key\r\n"
                              "\r\n"
                              "; and why\r\n"
                              "Width=640\r\n"
                              "Left=3\r\n"
                              "\r\n"
                              "[Plugins]\r\n"
                              "Name=quoted value\r\n"
                              "\r\n"
                              "[Option]\r\n"
                              "Err_Clr=25\r\n");
    EXPECT_EQ(box.ReadFile("prog.ini"), expected);

    // Rewriting its own output changes nothing: no blank lines pile up.
    IniFile again(box("prog.ini"));
    again.WriteInteger("Window", "Top", 7);
    again.UpdateFile();
    EXPECT_EQ(box.ReadFile("prog.ini"), expected);
}

TEST(IniFileTest, FileInAnotherEncodingKeepsItsBytes)
{
    test::Sandbox box;
    // Shift-JIS "テスト": not UTF-8, and must not come back as replacement characters.
    const QByteArray sjis("\x83\x65\x83\x58\x83\x67");
    box.WriteFile("prog.ini", "[Option]\r\n;" + sjis + "\r\nName=" + sjis + "\r\n");
    IniFile ini(box("prog.ini"));
    ini.WriteInteger("Option", "Err_Count", 7);
    ini.UpdateFile();
    EXPECT_EQ(box.ReadFile("prog.ini"),
              "[Option]\r\n\r\n;" + sjis + "\r\nName=" + sjis + "\r\nErr_Count=7\r\n");
}

TEST(IniFileTest, SignatureIsReadPastAndKept)
{
    test::Sandbox box;
    box.WriteFile("prog.ini", "\xEF\xBB\xBF[Option]\r\nErr_Count=3\r\n");
    IniFile ini(box("prog.ini"));
    EXPECT_EQ(ini.ReadInteger("Option", "Err_Count", 25), 3);
    ini.WriteInteger("Option", "Err_Count", 4);
    ini.UpdateFile();
    EXPECT_EQ(box.ReadFile("prog.ini"), QByteArray("\xEF\xBB\xBF[Option]\r\nErr_Count=4\r\n"));
}

TEST(IniFileTest, ValuesAreReadUpTo2047Characters)
{
    const QString face = QString::fromUcs4(U"\U0001F600"); // a surrogate pair
    const struct {
        const char* what;
        QString stored;
        QString read;
    } rows[] = {
        {"longer ASCII is cut", QString(3000, u'a'), QString(2047, u'a')},
        {"the limit counts characters, not bytes", QString(2047, u'あ'), QString(2047, u'あ')},
        {"a pair across the limit goes whole", QString(2046, u'a') + face, QString(2046, u'a')},
        {"a pair just inside stays", QString(2045, u'a') + face + "b", QString(2045, u'a') + face},
    };
    for (const auto& row : rows) {
        test::Sandbox box;
        IniFile written(box("prog.ini"));
        written.WriteString("ExtList", "Path", row.stored);
        written.UpdateFile();
        EXPECT_EQ(IniFile(box("prog.ini")).ReadString("ExtList", "Path", {}), row.read) << row.what;
    }
}

TEST(IniFileTest, IntegersAreReadFromTheFile)
{
    test::Sandbox box;
    box.WriteFile("prog.ini", "[Option]\r\nErr_Count=0x1E\r\nErr_Clr=-5\r\n"
                              "[Window]\r\nTop=abc\r\nLeft=\r\n");
    const IniFile ini(box("prog.ini"));
    EXPECT_EQ(ini.ReadInteger("Option", "Err_Count", 25), 30);
    EXPECT_EQ(ini.ReadInteger("Option", "Err_Clr", 25), -5);
    EXPECT_EQ(ini.ReadInteger("Window", "Top", 11), 11);
    EXPECT_EQ(ini.ReadInteger("Window", "Left", 12), 12);
}

struct IniIntegerRow {
    const char* what;
    const char* text;
    int value;
};

const IniIntegerRow kIniIntegers[] = {
    {"hex prefix", "0x1E", 30},
    {"capital X and small digits", "0X1e", 30},
    {"largest hex", "0x7FFFFFFF", 2147483647},
    {"hex wraps to minus one", "0xFFFFFFFF", -1},
    {"hex wraps to the most negative", "0x80000000", -2147483647 - 1},
    {"hex prefix without digits", "0x", -99},
    {"sign after the hex prefix", "0x-5", -99},
    {"letter past F", "0x1G", -99},
    {"hex beyond 32 bits", "0x100000000", -99},
    {"blank after the hex prefix", "0x $1", -99},
    {"blank before the hex prefix", " 0x1E", -99},
    {"dollar prefix", "$1E", 30},
    {"dollar hex wraps to minus one", "$FFFFFFFF", -1},
    {"minus before the dollar", "-$10", -16},
    {"plus before the dollar", "+$a", 10},
    {"dollar without digits", "$", -99},
    {"dollar hex beyond 32 bits", "$1FFFFFFFF", -99},
    {"negative decimal", "-5", -5},
    {"plus sign", "+7", 7},
    {"blanks before a decimal", "  42", 42},
    {"zero", "0", 0},
    {"leading zeros are decimal", "007", 7},
    {"largest decimal", "2147483647", 2147483647},
    {"smallest decimal", "-2147483648", -2147483647 - 1},
    {"one past the largest", "2147483648", -99},
    {"one below the smallest", "-2147483649", -99},
    {"empty text", "", -99},
    {"letters", "abc", -99},
    {"letter after the digits", "12x", -99},
    {"blank after the digits", "12 ", -99},
    {"lone minus", "-", -99},
    {"blank between digits", "1 2", -99},
    {"two minus signs", "--1", -99},
    {"full-width digits", "１２", -99},
};

void PrintTo(const IniIntegerRow& row, std::ostream* out)
{
    *out << row.what << ": \"" << row.text << '"';
}

class ParseIniIntegerRows : public testing::TestWithParam<IniIntegerRow> {};

TEST_P(ParseIniIntegerRows, FollowsTheIntegerRule)
{
    const IniIntegerRow& row = GetParam();
    EXPECT_EQ(ParseIniInteger(QString::fromUtf8(row.text), -99), row.value);
}

INSTANTIATE_TEST_SUITE_P(ParseIniIntegerTest, ParseIniIntegerRows, testing::ValuesIn(kIniIntegers),
                         [](const testing::TestParamInfo<IniIntegerRow>& info) {
                             return RowName(info.index, info.param.what);
                         });

TEST(IniFileTest, UnwritableLocationThrowsAndLeavesItAlone)
{
    test::Sandbox box;
    box.WriteFile("folder.ini/inside.txt", "old");
    const QString paths[] = {box("missing/prog.ini"), box("folder.ini")};
    for (const QString& path : paths) {
        IniFile ini(path);
        EXPECT_EQ(ini.ReadInteger("Window", "Top", 4), 4);
        WriteMainWindowSettings(ini, "x.ext");
        EXPECT_EQ(FailureOf([&] { ini.UpdateFile(); }),
                  Failure("EIniFileException", path + " に書き込めません"));
    }
    EXPECT_FALSE(QFileInfo::exists(box("missing")));
    EXPECT_EQ(box.ReadFile("folder.ini/inside.txt"), "old");
}

struct SplitRow {
    const char* what;
    QByteArray bytes;
    QStringList patterns;
};

std::vector<SplitRow> SplitRows()
{
    return {
        {"CR LF", "*.bmp\r\n*.jpg\r\n", {"*.bmp", "*.jpg"}},
        {"lone CR", "*.bmp\r*.jpg\r", {"*.bmp", "*.jpg"}},
        {"lone LF", "*.bmp\n*.jpg\n", {"*.bmp", "*.jpg"}},
        {"mixed", "*.a\r\n*.b\r*.c\n*.d", {"*.a", "*.b", "*.c", "*.d"}},
        {"LF CR is two breaks", "*.a\n\r*.b", {"*.a", "", "*.b"}},
        {"empty lines", "*.png\r\n\r\n*.gif\r\n", {"*.png", "", "*.gif"}},
        {"no final break", "*.png\r\n*.gif", {"*.png", "*.gif"}},
        {"only a break", "\r\n", {""}},
        {"zero byte ends the text", QByteArray("*.a\r\n*.b\0*.c\r\n", 14), {"*.a", "*.b"}},
        {"empty file", "", {}},
        {"Japanese", "*.画像\r\n*.ｊｐｇ\r\n", {"*.画像", "*.ｊｐｇ"}},
        {"blanks are kept", " *.bmp \r\n", {" *.bmp "}},
    };
}

void PrintTo(const SplitRow& row, std::ostream* out)
{
    *out << row.what;
}

class ExtensionListLines : public testing::TestWithParam<SplitRow> {};

TEST_P(ExtensionListLines, ReadingSplitsLines)
{
    const SplitRow& row = GetParam();
    test::Sandbox box;
    EXPECT_EQ(ReadExtensionList(box.WriteFile("prog.ext", row.bytes)), row.patterns);
}

INSTANTIATE_TEST_SUITE_P(ExtensionListFileTest, ExtensionListLines, testing::ValuesIn(SplitRows()),
                         [](const testing::TestParamInfo<SplitRow>& info) {
                             return RowName(info.index, info.param.what);
                         });

TEST(ExtensionListFileTest, WritingEndsEveryPatternWithCrLf)
{
    test::Sandbox box;
    const QStringList patterns{"*.bmp", "", "*.画像"};
    WriteExtensionList(box("prog.ext"), patterns);
    EXPECT_EQ(box.ReadFile("prog.ext"), QByteArray("*.bmp\r\n\r\n*.画像\r\n"));
    EXPECT_EQ(ReadExtensionList(box("prog.ext")), patterns);

    WriteExtensionList(box("prog.ext"), {});
    EXPECT_EQ(box.ReadFile("prog.ext"), QByteArray());
    EXPECT_TRUE(IsExistingFile(box("prog.ext")));
}

TEST(ExtensionListFileTest, FolderInThePlaceOfTheFile)
{
    test::Sandbox box;
    const QString folder = box.MakeDir("prog.ext");
    EXPECT_FALSE(IsExistingFile(folder));
    EXPECT_EQ(FailureOf([&] { ReadExtensionList(folder); }),
              Failure("EFOpenError", "ファイル " + folder + " は開けません"));
}

TEST(ExtensionListFileTest, UnwritableLocationRaisesAndLeavesItAlone)
{
    test::Sandbox box;
    box.WriteFile("folder.ext/inside.txt", "old");
    const QString paths[] = {box("missing/prog.ext"), box("folder.ext")};
    for (const QString& path : paths) {
        EXPECT_EQ(FailureOf([&] { WriteExtensionList(path, {"*.bmp"}); }),
                  Failure("EFCreateError", "ファイル " + path + " を作成できません"));
    }
    EXPECT_FALSE(QFileInfo::exists(box("missing")));
    EXPECT_EQ(box.ReadFile("folder.ext/inside.txt"), "old");
}

// Settings files that are not what a program or a person would write. Each
// is read as the main window reads it, then written as it writes at its
// end: the values read are the ones the file holds, and every value written
// comes back, with what others wrote kept.
struct HostileRow {
    const char* name;
    QByteArray (*bytes)();
    // What Err_Count reads as; and a key of another's that must survive the
    // rewrite, when the file holds one.
    int errCount;
    const char* othersKey;
};

void PrintTo(const HostileRow& row, std::ostream* out)
{
    *out << row.name;
}

QByteArray Garbage(qsizetype size)
{
    QByteArray bytes;
    std::uint32_t state = 2463534242u;
    for (qsizetype i = 0; i < size; ++i) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        bytes.append(char(state));
    }
    return bytes;
}

const HostileRow kHostileInis[] = {
    {"zero_byte_inside_a_line",
     [] { return QByteArray("[Option]\r\nErr_Count=4\0junk\r\n[Other]\r\nKey=kept\r\n", 47); }, 4,
     "kept"},
    {"zero_bytes_between_sections",
     [] { return QByteArray("[Option]\r\nErr_Count=6\r\n\0\0\0\r\n[Other]\r\nKey=kept\r\n", 48); }, 6,
     "kept"},
    {"binary_garbage", [] { return Garbage(64 * 1024); }, 25, nullptr},
    {"garbage_then_settings",
     [] { return Garbage(4096).replace('\0', 'x') + "\r\n[Option]\r\nErr_Count=9\r\n"; }, 9,
     nullptr},
    {"line_of_a_megabyte",
     [] { return "[Other]\r\nKey=kept\r\nLong=" + QByteArray(1 << 20, 'v') + "\r\n[Option]\r\nErr_Count=3\r\n"; },
     3, "kept"},
    {"sixteen_megabytes_of_keys",
     [] {
         QByteArray bytes("[Other]\r\nKey=kept\r\n[Many]\r\n");
         for (int i = 0; bytes.size() < 16 * 1024 * 1024; ++i)
             bytes += "Key" + QByteArray::number(i) + "=" + QByteArray(64, 'v') + "\r\n";
         return bytes + "[Option]\r\nErr_Count=11\r\n";
     },
     11, "kept"},
    {"lone_carriage_returns",
     [] { return QByteArray("[Option]\rErr_Count=12\r[Other]\rKey=kept\r"); }, 12, "kept"},
};

class HostileIni : public testing::TestWithParam<HostileRow> {};

TEST_P(HostileIni, IsReadForWhatItHoldsAndRewrittenWithoutLoss)
{
    const HostileRow& row = GetParam();
    test::Sandbox box;
    box.WriteFile("prog.ini", row.bytes());
    {
        const IniFile ini(box("prog.ini"));
        EXPECT_EQ(ini.ReadInteger("Option", "Err_Count", 25), row.errCount);
        ini.ReadString("ExtList", "Path", "prog.ext");
    }
    {
        IniFile ini(box("prog.ini"));
        WriteMainWindowSettings(ini, "/the/list.ext");
        EXPECT_EQ(FailureOf([&] { ini.UpdateFile(); }), Failure());
    }
    const IniFile again(box("prog.ini"));
    EXPECT_EQ(again.ReadString("ExtList", "Path", {}), "/the/list.ext");
    EXPECT_EQ(again.ReadInteger("Window", "Top", 0), 120);
    EXPECT_EQ(again.ReadInteger("Window", "Left", 0), -8);
    EXPECT_EQ(again.ReadInteger("Option", "Err_Count", 0), 25);
    EXPECT_EQ(again.ReadInteger("Option", "Err_Clr", 0), 30);
    if (row.othersKey) {
        EXPECT_EQ(again.ReadString("Other", "Key", {}), row.othersKey);
    }
}

INSTANTIATE_TEST_SUITE_P(SettingsFiles, HostileIni, testing::ValuesIn(kHostileInis),
                         [](const testing::TestParamInfo<HostileRow>& info) {
                             return RowName(info.index, info.param.name);
                         });

// An extension list that is binary, holds a line of megabytes or millions
// of lines: read up to its first zero byte, and what the main window writes
// back at its end reads as the same patterns again.
TEST(ExtensionListFileTest, HostileListsAreReadAsFarAsTheirTextGoesAndWrittenBackWhole)
{
    test::Sandbox box;
    QByteArray many;
    for (int i = 0; many.size() < 16 * 1024 * 1024; ++i)
        many += "*.e" + QByteArray::number(i) + "\r\n";
    const struct {
        const char* name;
        QByteArray bytes;
        qsizetype patterns;
    } rows[] = {
        {"zero byte ends the text", QByteArray("*.bmp\r\n*.j\0pg\r\n*.emf\r\n", 22), 2},
        {"binary garbage", Garbage(64 * 1024), -1},
        {"line of a megabyte", "*.bmp\r\n" + QByteArray(1 << 20, 'x') + "\r\n*.jpg", 3},
        {"sixteen megabytes of patterns", many, many.count('\n')},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const QString path = box.WriteFile("prog.ext", row.bytes);
        QStringList patterns;
        EXPECT_EQ(FailureOf([&] { patterns = ReadExtensionList(path); }), Failure());
        if (row.patterns >= 0) {
            EXPECT_EQ(patterns.size(), row.patterns);
        }
        EXPECT_EQ(FailureOf([&] { WriteExtensionList(path, patterns); }), Failure());
        EXPECT_EQ(ReadExtensionList(path), patterns);
    }
}

TEST(ExtensionListFileTest, FilesLiveBesideTheExecutable)
{
    EXPECT_EQ(IniFileFor("/opt/orvelle.d/orvelle"), "/opt/orvelle.d/orvelle.ini");
    EXPECT_EQ(ExtensionListFileFor("/opt/run/prog.bin"), "/opt/run/prog.ext");
}

} // namespace
} // namespace orvelle
