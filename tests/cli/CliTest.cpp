#include <cstdio>
#include <memory>

#include <gtest/gtest.h>

#include <QProcess>

#include "CliCommands.h"
#include "TestSupport.h"

using orvelle::test::CliResult;
using orvelle::test::Sandbox;

namespace {

QByteArray Drain(std::FILE* f)
{
    std::fflush(f);
    std::rewind(f);
    QByteArray bytes;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;)
        bytes.append(buffer, qsizetype(n));
    return bytes;
}

// One run of the command in this process, with what it wrote.
CliResult RunCli(const QStringList& args)
{
    orvelle::test::EnsureGuiApplication();
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> out(std::tmpfile(), &std::fclose);
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> err(std::tmpfile(), &std::fclose);
    CliResult r;
    r.status = orvelle::cli::Run(args, out.get(), err.get());
    r.out = Drain(out.get());
    r.err = Drain(err.get());
    return r;
}

unsigned Coded(int x, int y)
{
    return unsigned(0x102030 + 17 * x + 3 * y);
}

} // namespace

TEST(CliInfo, OneTabSeparatedLineAFileAndStatusOneOnAnyFailure)
{
    Sandbox box;
    const QString good =
        box.WriteFile(QStringLiteral("良い.bmp"), orvelle::test::Bmp24(5, 4, Coded));
    const QString bad = box.WriteFile(QStringLiteral("bad.bmp"), "not a bitmap at all");
    const QString odd = box.WriteFile(QStringLiteral("x.png"), "x");

    CliResult r = RunCli({"info", good});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(QString::fromUtf8(r.out), good + QStringLiteral("\tTBitmap\t5\t4\n"));

    r = RunCli({"info", good, bad, odd});
    EXPECT_EQ(r.status, 1);
    const QStringList lines = QString::fromUtf8(r.out).split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(lines[1],
              bad + QStringLiteral("\terror\tEInvalidGraphic\tビットマップイメージが不正です"));
    EXPECT_EQ(
        lines[2],
        odd + QStringLiteral("\terror\tEInvalidGraphic\t拡張子 .png の画像形式は処理できません"));
}

TEST(CliRender, WritesThePictureAsPpmAtItsOwnOrAGivenSize)
{
    Sandbox box;
    const QString file = box.WriteFile(QStringLiteral("p.bmp"), orvelle::test::Bmp24(5, 4, Coded));

    CliResult r = RunCli({"render", file});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    QByteArray expected("P6\n5 4\n255\n");
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 5; ++x) {
            const unsigned c = Coded(x, y);
            expected.append(char(c >> 16)).append(char((c >> 8) & 0xFF)).append(char(c & 0xFF));
        }
    }
    EXPECT_EQ(r.out, expected);

    // Shrunk to 2 × 1: source pixels (1, 2) and (3, 2) by the nearest-pixel rule.
    const QString out = box(QStringLiteral("small.ppm"));
    r = RunCli({"render", file, "--size", "2x1", "-o", out});
    ASSERT_EQ(r.status, 0);
    EXPECT_TRUE(r.out.isEmpty());
    QByteArray small("P6\n2 1\n255\n");
    for (int x : {1, 3}) {
        const unsigned c = Coded(x, 2);
        small.append(char(c >> 16)).append(char((c >> 8) & 0xFF)).append(char(c & 0xFF));
    }
    EXPECT_EQ(box.ReadFile(QStringLiteral("small.ppm")), small);
}

TEST(CliRender, FailuresAndMisuse)
{
    Sandbox box;
    CliResult r = RunCli({"render", box(QStringLiteral("none.bmp"))});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(QString::fromUtf8(r.err), QStringLiteral("EFOpenError: ファイル %1 は開けません\n")
                                            .arg(box(QStringLiteral("none.bmp"))));
    EXPECT_TRUE(r.out.isEmpty());

    for (const QStringList& args :
         {QStringList{}, QStringList{"frobnicate"}, QStringList{"info"}, QStringList{"render"},
          QStringList{"render", "a.bmp", "--size", "3"},
          QStringList{"render", "a.bmp", "--bogus"}}) {
        r = RunCli(args);
        EXPECT_EQ(r.status, 2) << args.join(u' ').toStdString();
        EXPECT_TRUE(r.err.startsWith("usage:"));
    }
}

TEST(CliProgram, RunsWithoutADisplayAndReportsThroughItsStatus)
{
    Sandbox box;
    const QString good = box.WriteFile(QStringLiteral("a.bmp"), orvelle::test::Bmp24(2, 2, Coded));
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(ORVELLE_CLI), {"info", good, box(QStringLiteral("b.bmp"))});
    ASSERT_TRUE(process.waitForFinished(30000));
    EXPECT_EQ(process.exitCode(), 1);
    const QString out = QString::fromUtf8(process.readAllStandardOutput());
    EXPECT_TRUE(out.startsWith(good + QStringLiteral("\tTBitmap\t2\t2\n"))) << out.toStdString();
    EXPECT_TRUE(out.contains(QStringLiteral("\terror\tEFOpenError\t")));
}

TEST(CliCheck, PrintsTheMatchRecordsOfTheSameRunAsTheProgram)
{
    Sandbox box;
    const QString a = box.WriteFile(QStringLiteral("tree/a.bmp"), "same");
    const QString b = box.WriteFile(QStringLiteral("tree/sub/b.BMP"), "same");
    box.WriteFile(QStringLiteral("tree/c.txt"), "same"); // not a ticked pattern
    const QString loose = box.WriteFile(QStringLiteral("loose.dat"), "same");

    // A folder is scanned, a file is taken as given; exact mode is the default.
    CliResult r = RunCli({"check", box(QStringLiteral("tree")), loose});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    const QString out = QString::fromUtf8(r.out);
    const QStringList records = out.split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(records.size(), 3) << out.toStdString();
    EXPECT_TRUE(records[0].startsWith(QStringLiteral("00000001")));
    EXPECT_TRUE(records.contains(QStringLiteral("00000001") + loose));
    EXPECT_TRUE(records.contains(QStringLiteral("00000001") + a));
    EXPECT_TRUE(records.contains(QStringLiteral("00000001") + b));

    // --ext replaces the patterns; --list appends lines as they stand.
    const QString list = box.WriteFile(QStringLiteral("list.txt"),
                                       (a + QStringLiteral("\r\n") + loose + u'\n').toUtf8());
    r = RunCli({"check", "--ext", "*.txt", box(QStringLiteral("tree")), "--list", list});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(QString::fromUtf8(r.out).split(u'\n', Qt::SkipEmptyParts).size(), 3);

    // Nothing alike: no output, status 0.
    r = RunCli({"check", a, box.WriteFile(QStringLiteral("d.bmp"), "different")});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.out.isEmpty());
}

TEST(CliCheck, FuzzyModeAndErrors)
{
    Sandbox box;
    const auto picture = [](int x, int y) { return unsigned((x / 2) * 0x202020 + y); };
    const QString big =
        box.WriteFile(QStringLiteral("big.bmp"), orvelle::test::Bmp24(8, 8, picture));
    const QString small = box.WriteFile(
        QStringLiteral("small.bmp"),
        orvelle::test::Bmp24(4, 4, [&](int x, int y) { return picture(2 * x + 1, 2 * y + 1); }));
    CliResult r = RunCli({"check", "--fuzzy", big, small});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(QString::fromUtf8(r.out), QStringLiteral("00000001%1\n00000001%2\n").arg(big, small));
    r = RunCli({"check", "--fuzzy", "--compare-size", big, small});
    EXPECT_TRUE(r.out.isEmpty());

    // --stats: the one pair of two 8 × 8 pictures, drawn once each; the size
    // ignored makes the small one the size both are compared at.
    const QString twin =
        box.WriteFile(QStringLiteral("twin.bmp"), orvelle::test::Bmp24(8, 8, picture));
    r = RunCli({"check", "--fuzzy", "--stats", big, twin});
    EXPECT_EQ(QString::fromUtf8(r.out), QStringLiteral("00000001%1\n00000001%2\n").arg(big, twin));
    EXPECT_TRUE(r.err.startsWith("pairs 1; ")) << r.err.constData();
    EXPECT_TRUE(r.err.contains(" of 64 (") && r.err.endsWith("pictures drawn again 0\n"))
        << r.err.constData();

    // The first error ends the run: its text as the error box shows it, status 2.
    const QString missing = box(QStringLiteral("missing.bmp"));
    r = RunCli({"check", "--fuzzy", big, missing});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(QString::fromUtf8(r.err), QStringLiteral("ファイル %1 は開けません.\n").arg(missing));

    EXPECT_EQ(RunCli({"check"}).status, 2);
    EXPECT_EQ(RunCli({"check", "--noise", "x", big}).status, 2);
    EXPECT_EQ(RunCli({"check", "--bogus", big}).status, 2);
}
