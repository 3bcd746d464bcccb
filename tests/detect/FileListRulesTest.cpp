#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <QString>
#include <QStringList>

#include "FileListRules.h"
#include "RowName.h"

namespace orvelle {
namespace {

using namespace Qt::StringLiterals;
using test::RowName;

std::string Utf8(const QString& text)
{
    return text.toStdString();
}

ExtensionItems DefaultList()
{
    return {{QStringLiteral("*.bmp"), true},
            {QStringLiteral("*.jpg"), true},
            {QStringLiteral("*.jpeg"), true},
            {QStringLiteral("*.emf"), true},
            {QStringLiteral("*.wmf"), true}};
}

struct MatchRow {
    const char* why;
    ExtensionItems items;
    QString extension;
    bool expected;
};

std::vector<MatchRow> MatchRows()
{
    const auto ticked = [](const char16_t* pattern) {
        return ExtensionItem{QString::fromUtf16(pattern), true};
    };
    const auto unticked = [](const char16_t* pattern) {
        return ExtensionItem{QString::fromUtf16(pattern), false};
    };
    return {
        {"upper-case file, lower-case pattern", {ticked(u"*.jpg")}, u".JPG"_s, true},
        {"lower-case file, upper-case pattern", {ticked(u"*.JPG")}, u".jpg"_s, true},
        {"mixed case", {ticked(u"*.jpg")}, u".Jpg"_s, true},
        {"mixed case on both sides", {ticked(u"*.JpG")}, u".jPg"_s, true},
        {"a longer extension is no match", {ticked(u"*.jpg")}, u".jpeg"_s, false},
        {"a shorter extension is no match", {ticked(u"*.jpeg")}, u".jpg"_s, false},
        {"any ticked item may match", DefaultList(), u".WMF"_s, true},
        {"nothing in the list", {}, u".jpg"_s, false},
        {"unticked patterns are ignored", {unticked(u"*.jpg")}, u".jpg"_s, false},
        {"a later ticked copy counts", {unticked(u"*.jpg"), ticked(u"*.jpg")}, u".jpg"_s, true},
        {"star dot star is no wildcard", {ticked(u"*.*")}, u".bmp"_s, false},
        {"star dot star is the literal extension .*", {ticked(u"*.*")}, u".*"_s, true},
        {"star dot star does not take files without extension", {ticked(u"*.*")}, u""_s, false},
        {"an empty pattern takes files without extension", {ticked(u"")}, u""_s, true},
        {"a lone star takes files without extension", {ticked(u"*")}, u""_s, true},
        {"a lone star is not a lone dot", {ticked(u"*")}, u"."_s, false},
        {"star dot takes a name ending in a dot", {ticked(u"*.")}, u"."_s, true},
        {"an unticked lone star takes nothing", {unticked(u"*")}, u""_s, false},
        {"a file without extension is not a .jpg", DefaultList(), u""_s, false},
        {"the first character is dropped whatever it is", {ticked(u"?.bmp")}, u".bmp"_s, true},
        {"a letter first acts like the star", {ticked(u"x.bmp")}, u".BMP"_s, true},
        {"only one character is dropped", {ticked(u"xx.bmp")}, u".bmp"_s, false},
        {"a pattern without its star loses the dot", {ticked(u".bmp")}, u".bmp"_s, false},
        {"capital E acute is not lowered", {ticked(u"*.é")}, u".É"_s, false},
        {"small e acute equals itself", {ticked(u"*.é")}, u".é"_s, true},
        {"full-width letters are not lowered", {ticked(u"*.ｊｐｇ")}, u".ＪＰＧ"_s, false},
        {"Japanese extension", {ticked(u"*.画像")}, u".画像"_s, true},
        // Characters just outside A..Z would turn into other punctuation if the
        // lowering used a bit trick.
        {"at sign just before A is not lowered to backquote", {ticked(u"*.`")}, u".@"_s, false},
        {"bracket just after Z is not lowered to brace", {ticked(u"*.{")}, u".["_s, false},
        // A character outside the basic plane goes as a whole.
        {"non-BMP first character", {ticked(u"𝒳.jpg")}, u".JPG"_s, true},
        {"non-BMP extension", {ticked(u"*.𠮷")}, u".𠮷"_s, true},
        {"non-BMP first character, nothing else", {ticked(u"𝒳")}, u""_s, true},
    };
}

void PrintTo(const MatchRow& row, std::ostream* out)
{
    *out << row.why << ": \"" << Utf8(row.extension) << "\" against";
    for (const ExtensionItem& item : row.items)
        *out << " " << Utf8(item.pattern) << (item.ticked ? " (ticked)" : " (unticked)");
}

class ExtensionCheckedRows : public testing::TestWithParam<MatchRow> {};

TEST_P(ExtensionCheckedRows, MatchesTheTickedPatterns)
{
    const MatchRow& row = GetParam();
    EXPECT_EQ(ExtensionChecked(row.items, row.extension), row.expected);
}

INSTANTIATE_TEST_SUITE_P(FileListRules, ExtensionCheckedRows, testing::ValuesIn(MatchRows()),
                         [](const testing::TestParamInfo<MatchRow>& info) {
                             return RowName(info.index, info.param.why);
                         });

TEST(FileListRulesTest, LowerAsciiChangesOnlyAsciiLetters)
{
    EXPECT_EQ(Utf8(LowerAscii(u"AZaz@[`{09.*ÉÄＡ写真𠮷"_s)), Utf8(u"azaz@[`{09.*ÉÄＡ写真𠮷"_s));
}

TEST(FileListRulesTest, PatternTextJoinsTickedPatternsInOrder)
{
    ExtensionItems items = DefaultList();
    EXPECT_EQ(Utf8(PatternText(items)), "*.bmp;*.jpg;*.jpeg;*.emf;*.wmf;");

    for (ExtensionItem& item : items)
        item.ticked = item.pattern == u"*.jpg"_s;
    EXPECT_EQ(Utf8(PatternText(items)), "*.jpg;");

    items[4].ticked = true;
    items.push_back({u"*.ico"_s, true});
    EXPECT_EQ(Utf8(PatternText(items)), "*.jpg;*.wmf;*.ico;");

    for (ExtensionItem& item : items)
        item.ticked = false;
    EXPECT_EQ(Utf8(PatternText(items)), "");
    EXPECT_EQ(Utf8(PatternText({})), "");
}

TEST(FileListRulesTest, OpenDialogFilter)
{
    const QString filter = OpenDialogFilter(PatternText(DefaultList()));
    EXPECT_EQ(Utf8(filter), Utf8(u"画像ファイル|*.bmp;*.jpg;*.jpeg;*.emf;*.wmf;"_s));
    EXPECT_EQ(Utf8(OpenDialogFilter(u"*.jpg;"_s)), Utf8(u"画像ファイル|*.jpg;"_s));
}

struct FilterRow {
    const char* why;
    QString classic;
    QStringList qt;
};

std::vector<FilterRow> FilterRows()
{
    return {
        {"the default list",
         u"画像ファイル|*.bmp;*.jpg;*.jpeg;*.emf;*.wmf;"_s,
         {u"画像ファイル (*.bmp *.jpg *.jpeg *.emf *.wmf)"_s}},
        {"one pattern", u"画像ファイル|*.jpg;"_s, {u"画像ファイル (*.jpg)"_s}},
        {"no trailing semicolon", u"画像ファイル|*.jpg;*.bmp"_s, {u"画像ファイル (*.jpg *.bmp)"_s}},
        {"several pairs", u"画像|*.bmp;|全部|*;"_s, {u"画像 (*.bmp)"_s, u"全部 (*)"_s}},
        // The classic dialog shows every file for *.*, also names without a
        // dot; Qt's wildcard would insist on the dot.
        {"star dot star offers every file", u"画像ファイル|*.*;"_s, {u"画像ファイル (*)"_s}},
        {"star dot star among others", u"画像ファイル|*.bmp;*.*;"_s, {u"画像ファイル (*.bmp *)"_s}},
        {"a pattern with a blank cannot be offered",
         u"画像ファイル|*.a b;*.jpg;"_s,
         {u"画像ファイル (*.jpg)"_s}},
        {"nothing to offer", u"画像ファイル|;"_s, {}},
    };
}

void PrintTo(const FilterRow& row, std::ostream* out)
{
    *out << row.why << ": " << Utf8(row.classic);
}

class QtNameFilterRows : public testing::TestWithParam<FilterRow> {};

TEST_P(QtNameFilterRows, ToQtNameFilters)
{
    const FilterRow& row = GetParam();
    EXPECT_EQ(Utf8(ToQtNameFilters(row.classic).join(u'\n')), Utf8(row.qt.join(u'\n')));
}

INSTANTIATE_TEST_SUITE_P(FileListRules, QtNameFilterRows, testing::ValuesIn(FilterRows()),
                         [](const testing::TestParamInfo<FilterRow>& info) {
                             return RowName(info.index, info.param.why);
                         });

TEST(FileListRulesTest, CountTextIsPlainDecimal)
{
    EXPECT_EQ(Utf8(CountText(0)), Utf8(u"ファイルの数：0"_s));
    EXPECT_EQ(Utf8(CountText(1)), Utf8(u"ファイルの数：1"_s));
    EXPECT_EQ(Utf8(CountText(1234)), Utf8(u"ファイルの数：1234"_s));
    EXPECT_EQ(Utf8(CountText(1000000)), Utf8(u"ファイルの数：1000000"_s));
}

} // namespace
} // namespace orvelle
