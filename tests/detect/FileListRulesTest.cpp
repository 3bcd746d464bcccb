#include <string>

#include <gtest/gtest.h>

#include <QString>
#include <QStringList>

#include "FileListRules.h"

namespace orvelle {
namespace {

using namespace Qt::StringLiterals;

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

TEST(FileListRulesTest, ExtensionChecked)
{
    const auto ticked = [](const char16_t* pattern) {
        return ExtensionItem{QString::fromUtf16(pattern), true};
    };
    const auto unticked = [](const char16_t* pattern) {
        return ExtensionItem{QString::fromUtf16(pattern), false};
    };
    const MatchRow rows[] = {
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
        {"*.* is no wildcard", {ticked(u"*.*")}, u".bmp"_s, false},
        {"*.* is the literal extension .*", {ticked(u"*.*")}, u".*"_s, true},
        {"*.* does not take files without extension", {ticked(u"*.*")}, u""_s, false},
        {"an empty pattern takes files without extension", {ticked(u"")}, u""_s, true},
        {"a lone * takes files without extension", {ticked(u"*")}, u""_s, true},
        {"a lone * is not a lone dot", {ticked(u"*")}, u"."_s, false},
        {"*. takes a name ending in a dot", {ticked(u"*.")}, u"."_s, true},
        {"an unticked lone * takes nothing", {unticked(u"*")}, u""_s, false},
        {"a file without extension is not a .jpg", DefaultList(), u""_s, false},
        {"the first character is dropped whatever it is", {ticked(u"?.bmp")}, u".bmp"_s, true},
        {"a letter first acts like *", {ticked(u"x.bmp")}, u".BMP"_s, true},
        {"only one character is dropped", {ticked(u"xx.bmp")}, u".bmp"_s, false},
        {"a pattern without its star loses the dot", {ticked(u".bmp")}, u".bmp"_s, false},
        {"É is not lowered", {ticked(u"*.é")}, u".É"_s, false},
        {"é equals itself", {ticked(u"*.é")}, u".é"_s, true},
        {"full-width letters are not lowered", {ticked(u"*.ｊｐｇ")}, u".ＪＰＧ"_s, false},
        {"Japanese extension", {ticked(u"*.画像")}, u".画像"_s, true},
        // Characters just outside A..Z would turn into other punctuation if the
        // lowering used a bit trick.
        {"@ is not lowered to `", {ticked(u"*.`")}, u".@"_s, false},
        {"[ is not lowered to {", {ticked(u"*.{")}, u".["_s, false},
        // A character outside the basic plane goes as a whole.
        {"non-BMP first character", {ticked(u"𝒳.jpg")}, u".JPG"_s, true},
        {"non-BMP extension", {ticked(u"*.𠮷")}, u".𠮷"_s, true},
        {"non-BMP first character, nothing else", {ticked(u"𝒳")}, u""_s, true},
    };
    for (const MatchRow& row : rows) {
        SCOPED_TRACE(row.why);
        EXPECT_EQ(ExtensionChecked(row.items, row.extension), row.expected);
    }
}

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

TEST(FileListRulesTest, ToQtNameFilters)
{
    const FilterRow rows[] = {
        {"the default list",
         u"画像ファイル|*.bmp;*.jpg;*.jpeg;*.emf;*.wmf;"_s,
         {u"画像ファイル (*.bmp *.jpg *.jpeg *.emf *.wmf)"_s}},
        {"one pattern", u"画像ファイル|*.jpg;"_s, {u"画像ファイル (*.jpg)"_s}},
        {"no trailing semicolon", u"画像ファイル|*.jpg;*.bmp"_s, {u"画像ファイル (*.jpg *.bmp)"_s}},
        {"several pairs", u"画像|*.bmp;|全部|*;"_s, {u"画像 (*.bmp)"_s, u"全部 (*)"_s}},
        // The classic dialog shows every file for *.*, also names without a
        // dot; Qt's wildcard would insist on the dot.
        {"*.* offers every file", u"画像ファイル|*.*;"_s, {u"画像ファイル (*)"_s}},
        {"*.* among others", u"画像ファイル|*.bmp;*.*;"_s, {u"画像ファイル (*.bmp *)"_s}},
        {"a pattern with a blank cannot be offered",
         u"画像ファイル|*.a b;*.jpg;"_s,
         {u"画像ファイル (*.jpg)"_s}},
        {"nothing to offer", u"画像ファイル|;"_s, {}},
    };
    for (const FilterRow& row : rows) {
        SCOPED_TRACE(row.why);
        EXPECT_EQ(Utf8(ToQtNameFilters(row.classic).join(u'\n')), Utf8(row.qt.join(u'\n')));
    }
}

TEST(FileListRulesTest, CountTextIsPlainDecimal)
{
    EXPECT_EQ(Utf8(CountText(0)), Utf8(u"ファイルの数：0"_s));
    EXPECT_EQ(Utf8(CountText(1)), Utf8(u"ファイルの数：1"_s));
    EXPECT_EQ(Utf8(CountText(1234)), Utf8(u"ファイルの数：1234"_s));
    EXPECT_EQ(Utf8(CountText(1000000)), Utf8(u"ファイルの数：1000000"_s));
}

} // namespace
} // namespace orvelle
