#include <gtest/gtest.h>

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

namespace {

struct Ran {
    int status = -1;
    QByteArray out;
    QByteArray err;
};

// The built program with no display at all: a text asked for must not
// need one.
Ran RunProgram(const QStringList& arguments)
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QString::fromLatin1(name));
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(ORVELLE_APP), arguments);
    Ran ran;
    if (process.waitForFinished(30000) && process.exitStatus() == QProcess::NormalExit)
        ran.status = process.exitCode();
    ran.out = process.readAllStandardOutput();
    ran.err = process.readAllStandardError();
    return ran;
}

TEST(ProgramStart, HelpAndVersionPrintWithoutAWindow)
{
    const Ran help = RunProgram({QStringLiteral("--help")});
    EXPECT_EQ(help.status, 0) << help.err.constData();
    EXPECT_TRUE(help.out.startsWith("usage: orvelle [PATH...]\n")) << help.out.constData();
    EXPECT_TRUE(help.err.isEmpty()) << help.err.constData();

    const Ran version = RunProgram({QStringLiteral("--version")});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, QByteArray("orvelle " ORVELLE_VERSION "\n"));

    // Without a text to print, the missing display is said plainly.
    const Ran window = RunProgram({QStringLiteral("a.jpg")});
    EXPECT_EQ(window.status, 1);
    EXPECT_TRUE(window.out.isEmpty());
    EXPECT_TRUE(window.err.contains("no display")) << window.err.constData();
}

TEST(ProgramStart, AnUnknownOptionIsRefused)
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(ORVELLE_APP), {QStringLiteral("--no-such-option")});
    ASSERT_TRUE(process.waitForFinished(30000));
    EXPECT_EQ(process.exitCode(), 2);
    // Qt may warn first about the session it runs in.
    EXPECT_TRUE(process.readAllStandardError().contains(
        "orvelle: unknown option --no-such-option\nusage: orvelle [PATH...]\n"));
}

} // namespace
