#include <random>
#include <vector>

#include <gtest/gtest.h>

#include <QHash>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

#include "ByteNames.h"
#include "NativePath.h"
#include "PathRules.h"

using orvelle::DisplayText;
using orvelle::HoldsRawBytes;
using orvelle::PathFromNative;
using orvelle::PathToNative;

namespace {

QString Units(std::initializer_list<char16_t> units)
{
    QString text;
    for (char16_t u : units)
        text.append(QChar(u));
    return text;
}

// Byte strings that go through every branch of a decoder: mostly bytes of
// multi-byte sequences, cut short, joined wrongly or well.
std::vector<QByteArray> RandomByteStrings(int count)
{
    std::mt19937 random(20240611);
    std::uniform_int_distribution<int> length(0, 24);
    std::uniform_int_distribution<int> kind(0, 9);
    std::uniform_int_distribution<int> anyByte(0, 255);
    std::uniform_int_distribution<int> continuation(0x80, 0xBF);
    std::uniform_int_distribution<int> lead(0xC0, 0xFF);
    std::vector<QByteArray> strings;
    for (int i = 0; i < count; ++i) {
        QByteArray bytes;
        for (int n = length(random); n > 0; --n) {
            const int k = kind(random);
            if (k < 3)
                bytes.append(char(anyByte(random)));
            else if (k < 6)
                bytes.append(char(continuation(random)));
            else if (k < 8)
                bytes.append(char(lead(random)));
            else
                bytes.append(QStringLiteral("日/é😀").toUtf8().mid(anyByte(random) % 9, 3));
        }
        strings.push_back(bytes);
    }
    return strings;
}

} // namespace

TEST(NativePath, EveryByteThatIsNotUtf8StandsAloneAsItsEscape)
{
    for (int b = 0x80; b <= 0xFF; ++b) {
        const QByteArray bytes = QByteArray("a") + char(b) + "z";
        const QString text = PathFromNative(bytes);
        EXPECT_EQ(text, Units({u'a', char16_t(0xDC00 + b), u'z'})) << b;
        EXPECT_EQ(PathToNative(text), bytes) << b;
        EXPECT_TRUE(HoldsRawBytes(text)) << b;
        EXPECT_EQ(DisplayText(text), Units({u'a', 0xFFFD, u'z'})) << b;
    }
}

TEST(NativePath, ValidUtf8ReadsAsQtReadsIt)
{
    // The edges of each sequence length, of the surrogate gap and of the code
    // space, and the names of the byte-name tests that are valid.
    const QList<QByteArray> names{
        "plain.jpg",
        "",
        "\xc2\x80 \xdf\xbf",
        "\xe0\xa0\x80 \xed\x9f\xbf \xee\x80\x80 \xef\xbf\xbf",
        "\xf0\x90\x80\x80 \xf4\x8f\xbf\xbf",
        "line\nbreak.jpg",
        QStringLiteral("写真/日本語の名前 😀.jpg").toUtf8(),
        QStringLiteral("\uFFFD already a replacement.jpg").toUtf8(),
    };
    for (const QByteArray& bytes : names) {
        const QString text = PathFromNative(bytes);
        EXPECT_EQ(text, QString::fromUtf8(bytes)) << bytes.toHex().constData();
        EXPECT_FALSE(HoldsRawBytes(text)) << bytes.toHex().constData();
        EXPECT_EQ(PathToNative(text), bytes) << bytes.toHex().constData();
        EXPECT_EQ(DisplayText(text), text) << bytes.toHex().constData();
    }
}

TEST(NativePath, IllFormedSequencesEscapeEachOfTheirBytes)
{
    struct Row {
        const char* what;
        QByteArray bytes;
        QString text;
    };
    const QList<Row> rows{
        {"overlong two", "\xc0\x80", Units({0xDCC0, 0xDC80})},
        {"overlong lead C1", "\xc1\xbf", Units({0xDCC1, 0xDCBF})},
        {"overlong three", "\xe0\x80\x80", Units({0xDCE0, 0xDC80, 0xDC80})},
        {"overlong four", "\xf0\x80\x80\x80", Units({0xDCF0, 0xDC80, 0xDC80, 0xDC80})},
        {"encoded high surrogate", "\xed\xa0\x80", Units({0xDCED, 0xDCA0, 0xDC80})},
        {"encoded low surrogate", "\xed\xbf\xbf", Units({0xDCED, 0xDCBF, 0xDCBF})},
        {"past U+10FFFF", "\xf4\x90\x80\x80", Units({0xDCF4, 0xDC90, 0xDC80, 0xDC80})},
        {"lead F5", "\xf5\x80", Units({0xDCF5, 0xDC80})},
        {"cut short before ASCII", "\xe3\x81/", Units({0xDCE3, 0xDC81, u'/'})},
        {"cut short at the end", "\xf0\x9f\x98", Units({0xDCF0, 0xDC9F, 0xDC98})},
        {"cut short, then whole", "\xe3\x81\xe3\x81\x82", Units({0xDCE3, 0xDC81, 0x3042})},
        {"Shift-JIS", "b\x82\xa0.jpg", Units({u'b', 0xDC82, 0xDCA0, u'.', u'j', u'p', u'g'})},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(PathFromNative(row.bytes), row.text) << row.what;
        EXPECT_EQ(PathToNative(row.text), row.bytes) << row.what;
        EXPECT_EQ(DisplayText(row.text), QString::fromUtf8(row.bytes)) << row.what;
    }
}

TEST(NativePath, TextsThatStandForNoByteAreWrittenAsQtWritesThem)
{
    // A typed text may hold what no decoded name does: stray halves of a
    // pair, or an escape below 0x80.
    const QByteArray replacement("\xef\xbf\xbd");
    EXPECT_EQ(PathToNative(Units({u'a', 0xD800, u'b'})), "a" + replacement + "b");
    EXPECT_EQ(PathToNative(Units({0xDC41})), replacement);
    EXPECT_EQ(PathToNative(Units({0xD83D})), replacement);
    EXPECT_EQ(PathToNative(Units({0xD83D, 0xDE00})), QByteArray("\xf0\x9f\x98\x80"));
    EXPECT_TRUE(HoldsRawBytes(Units({0xD800})));
    EXPECT_FALSE(HoldsRawBytes(Units({0xD83D, 0xDE00})));
}

TEST(NativePath, RandomBytesComeBackExactlyAndNoTwoShareAText)
{
    const std::vector<QByteArray> strings = RandomByteStrings(20000);
    QHash<QString, QByteArray> seen;
    for (const QByteArray& bytes : strings) {
        const QString text = PathFromNative(bytes);
        ASSERT_EQ(PathToNative(text), bytes) << bytes.toHex().constData();
        EXPECT_EQ(PathFromNative(PathToNative(text)), text);
        EXPECT_EQ(DisplayText(text), QString::fromUtf8(bytes)) << bytes.toHex().constData();
        const auto it = seen.constFind(text);
        if (it != seen.cend()) {
            EXPECT_EQ(*it, bytes) << "two byte strings give one text";
        }
        seen.insert(text, bytes);
    }
}

TEST(NativePath, AgreesWithPythonsSurrogateEscape)
{
    const QString python = QStandardPaths::findExecutable(QStringLiteral("python3"));
    if (python.isEmpty())
        GTEST_SKIP() << "python3 is not installed";
    std::vector<QByteArray> strings = RandomByteStrings(3000);
    for (int b = 0; b < 256; ++b)
        strings.push_back(QByteArray(1, char(b)));
    for (const orvelle::test::ByteName& name : orvelle::test::ByteNames())
        strings.push_back(name.bytes);
    QByteArray input;
    for (const QByteArray& bytes : strings)
        input += bytes.toHex() + '\n';

    // Each line's bytes decoded with "surrogateescape", given back as UTF-16
    // code units in hex, one line each.
    QProcess process;
    process.start(python,
                  {QStringLiteral("-c"),
                   QStringLiteral("import sys\n"
                                  "for line in sys.stdin:\n"
                                  "    t = bytes.fromhex(line.strip()).decode('utf-8', "
                                  "'surrogateescape')\n"
                                  "    print(t.encode('utf-16-be', 'surrogatepass').hex())\n")});
    ASSERT_TRUE(process.waitForStarted());
    process.write(input);
    process.closeWriteChannel();
    ASSERT_TRUE(process.waitForFinished(60000));
    ASSERT_EQ(process.exitCode(), 0) << process.readAllStandardError().constData();
    const QList<QByteArray> lines = process.readAllStandardOutput().split('\n');
    ASSERT_GE(lines.size(), qsizetype(strings.size()));
    for (std::size_t i = 0; i < strings.size(); ++i) {
        const QByteArray units = QByteArray::fromHex(lines[qsizetype(i)]);
        QString expected;
        for (qsizetype k = 0; k + 1 < units.size(); k += 2)
            expected.append(QChar(char16_t((uchar(units[k]) << 8) | uchar(units[k + 1]))));
        EXPECT_EQ(PathFromNative(strings[i]), expected) << strings[i].toHex().constData();
    }
}

TEST(NativePath, PathRulesWorkOnTheTextsAsOnTheBytes)
{
    // A folder and a name decoded apart and joined give the text of the
    // joined bytes, so that a scan's paths are the paths of the bytes.
    const std::vector<QByteArray> strings = RandomByteStrings(2000);
    for (std::size_t i = 0; i + 1 < strings.size(); i += 2) {
        const QByteArray folder = "/" + strings[i];
        const QByteArray name = QByteArray(strings[i + 1]).replace('/', '_');
        EXPECT_EQ(orvelle::JoinPath(PathFromNative(folder), PathFromNative(name)),
                  PathFromNative(orvelle::test::JoinBytes(folder, name)));
    }
    // The extension of a name ending in bytes that are not UTF-8 keeps them.
    EXPECT_EQ(PathToNative(orvelle::ExtractFileExt(PathFromNative("a\x82.jp\xff"))),
              QByteArray(".jp\xff"));
}

TEST(NativePath, FileUrlsGiveTheirBytes)
{
    struct Row {
        const char* what;
        QUrl url;
        QByteArray bytes;
    };
    const QList<Row> rows{
        {"Shift-JIS from a file manager", QUrl::fromEncoded("file:///tmp/b%82%A0.jpg"),
         "/tmp/b\x82\xa0.jpg"},
        {"Latin-1 and a space", QUrl(QStringLiteral("file:///tmp/c%E9 x.jpg")), "/tmp/c\xe9 x.jpg"},
        {"a line break", QUrl::fromEncoded("file:///tmp/line%0Abreak.jpg"), "/tmp/line\nbreak.jpg"},
        {"lone 0xFF", QUrl::fromEncoded("file:///%FF.jpg"), "/\xff.jpg"},
        {"made from a Qt path", QUrl::fromLocalFile(QStringLiteral("/写真/日本 #1 100%?.jpg")),
         QStringLiteral("/写真/日本 #1 100%?.jpg").toUtf8()},
        {"with a host", QUrl::fromEncoded("file://server/share/%E9.jpg"),
         "//server/share/\xe9.jpg"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(PathToNative(orvelle::PathFromFileUrl(row.url)), row.bytes) << row.what;
        // Where the name is valid UTF-8, the answer is Qt's own.
        if (!HoldsRawBytes(orvelle::PathFromFileUrl(row.url))) {
            EXPECT_EQ(orvelle::PathFromFileUrl(row.url), row.url.toLocalFile()) << row.what;
        }
    }
    EXPECT_TRUE(
        orvelle::PathFromFileUrl(QUrl(QStringLiteral("https://example.org/a.jpg"))).isEmpty());
}

TEST(NativePath, ArgumentsKeepTheirBytes)
{
    const char* argv[] = {"orvelle-cli", "check", "/tmp/b\x82\xa0.jpg", "\xff", nullptr};
    const QStringList args = orvelle::ArgumentsFromNative(4, argv);
    ASSERT_EQ(args.size(), 3);
    EXPECT_EQ(args[0], QStringLiteral("check"));
    EXPECT_EQ(PathToNative(args[1]), QByteArray("/tmp/b\x82\xa0.jpg"));
    EXPECT_EQ(PathToNative(args[2]), QByteArray("\xff"));
}
