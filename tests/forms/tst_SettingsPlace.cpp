#include <memory>

#include <QFile>
#include <QListWidget>
#include <QtTest>

#include "FakePrompts.h"
#include "Fonts.h"
#include "MainUnit.h"
#include "ReadOnlyFolder.h"
#include "SettingsPlace.h"
#include "TestSupport.h"

using orvelle::test::FakePrompts;
using orvelle::test::ReadOnlyFolder;
using orvelle::test::Sandbox;
using Kind = FakePrompts::Kind;

namespace {

const QByteArray kDefaultList("*.bmp\r\n*.jpg\r\n*.jpeg\r\n*.emf\r\n*.wmf\r\n");

// The INI value of a key, as text; empty when the file or key is missing.
QByteArray IniValue(const QByteArray& ini, const QByteArray& key)
{
    for (const QByteArray& line : ini.split('\n')) {
        if (line.startsWith(key + '='))
            return line.mid(key.size() + 1).trimmed();
    }
    return {};
}

// A program folder, with the program in it, and a user's settings folder.
struct Fixture {
    Sandbox sandbox;
    FakePrompts prompts;
    QString bin = sandbox.MakeDir(QStringLiteral("bin"));
    QString exe = sandbox.WriteFile(QStringLiteral("bin/orvelle"));
    QString user = sandbox(QStringLiteral("config/orvelle"));

    // One run of the program: the place chosen at start, the window made,
    // the tolerance changed, the window closed.
    int Run(int newErrCount)
    {
        auto form = std::make_unique<TMainForm>(prompts, orvelle::SettingsBase(exe, user));
        const int loaded = form->Err_Count;
        form->Err_Count = newErrCount;
        form.reset();
        return loaded;
    }
};

} // namespace

class tst_SettingsPlace : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { orvelle::RegisterFontSubstitutes(); }
    void writableProgramFolderKeepsItsFiles();
    void unwritableProgramFolderUsesTheUserFolder();
    void failingUserFolderShowsTheErrorBox();
    void userFolderFollowsTheXdgRules();
    void startPathsReachTheListInTheirOrder();
};

void tst_SettingsPlace::writableProgramFolderKeepsItsFiles()
{
    Fixture f;
    QCOMPARE(orvelle::SettingsBase(f.exe, f.user), f.exe);
    QCOMPARE(f.Run(30), 25);
    QCOMPARE(f.Run(31), 30);
    QCOMPARE(IniValue(f.sandbox.ReadFile(QStringLiteral("bin/orvelle.ini")), "Err_Count"),
             QByteArray("31"));
    QCOMPARE(f.sandbox.ReadFile(QStringLiteral("bin/orvelle.ext")), kDefaultList);
    QVERIFY(!QFile::exists(f.user));
    QVERIFY(f.prompts.Texts(Kind::Error).isEmpty());
}

void tst_SettingsPlace::unwritableProgramFolderUsesTheUserFolder()
{
    Fixture f;
    // What an earlier run kept in the user's folder is read back.
    f.sandbox.WriteFile(QStringLiteral("config/orvelle/orvelle.ini"),
                        "[Option]\r\nErr_Count=40\r\n");
    const ReadOnlyFolder readOnly(f.bin);
    if (!readOnly.Ok())
        QSKIP("no read-only folder can be had here (root without the right to mount)");
    QCOMPARE(orvelle::SettingsBase(f.exe, f.user), f.user + QStringLiteral("/orvelle"));
    QCOMPARE(f.Run(41), 40);
    QCOMPARE(f.Run(42), 41);
    const QByteArray ini = f.sandbox.ReadFile(QStringLiteral("config/orvelle/orvelle.ini"));
    QCOMPARE(IniValue(ini, "Err_Count"), QByteArray("42"));
    QCOMPARE(IniValue(ini, "Path"), QFile::encodeName(f.user + QStringLiteral("/orvelle.ext")));
    QCOMPARE(f.sandbox.ReadFile(QStringLiteral("config/orvelle/orvelle.ext")), kDefaultList);
    QVERIFY(f.prompts.Texts(Kind::Error).isEmpty());
    QVERIFY(!QFile::exists(f.bin + QStringLiteral("/orvelle.ini")));
}

void tst_SettingsPlace::failingUserFolderShowsTheErrorBox()
{
    Fixture f;
    // A file where the user's folder should be: it cannot be made.
    f.sandbox.WriteFile(QStringLiteral("config"), "not a folder");
    const ReadOnlyFolder readOnly(f.bin);
    if (!readOnly.Ok())
        QSKIP("no read-only folder can be had here (root without the right to mount)");
    QCOMPARE(f.Run(41), 25);
    QCOMPARE(f.prompts.Texts(Kind::Error),
             QStringList{QStringLiteral("ファイル %1/orvelle.ext を作成できません").arg(f.user)});
}

void tst_SettingsPlace::userFolderFollowsTheXdgRules()
{
    const QByteArray xdg = qgetenv("XDG_CONFIG_HOME");
    const QByteArray home = qgetenv("HOME");
    qputenv("HOME", "/home/someone");
    qputenv("XDG_CONFIG_HOME", "/elsewhere/config");
    QCOMPARE(orvelle::UserSettingsFolder(), QStringLiteral("/elsewhere/config/orvelle"));
    // Unset, empty or relative: the default below the home folder.
    qputenv("XDG_CONFIG_HOME", "");
    QCOMPARE(orvelle::UserSettingsFolder(), QStringLiteral("/home/someone/.config/orvelle"));
    qputenv("XDG_CONFIG_HOME", "relative/config");
    QCOMPARE(orvelle::UserSettingsFolder(), QStringLiteral("/home/someone/.config/orvelle"));
    qunsetenv("XDG_CONFIG_HOME");
    QCOMPARE(orvelle::UserSettingsFolder(), QStringLiteral("/home/someone/.config/orvelle"));
    qputenv("HOME", home);
    if (xdg.isNull())
        qunsetenv("XDG_CONFIG_HOME");
    else
        qputenv("XDG_CONFIG_HOME", xdg);
}

void tst_SettingsPlace::startPathsReachTheListInTheirOrder()
{
    Fixture f;
    const QString first = f.sandbox.WriteFile(QStringLiteral("z-first.txt"));
    f.sandbox.WriteFile(QStringLiteral("pictures/a.bmp"));
    f.sandbox.WriteFile(QStringLiteral("pictures/notes.txt"));
    f.sandbox.WriteFile(QStringLiteral("pictures/deeper/b.jpg"));
    const QString missing = f.sandbox(QStringLiteral("missing.jpg"));
    TMainForm form(f.prompts, f.exe);
    form.OpenPaths({first, f.sandbox(QStringLiteral("pictures")), missing});
    QCOMPARE(form.FileList(), (QStringList{first, f.sandbox(QStringLiteral("pictures/a.bmp")),
                                           f.sandbox(QStringLiteral("pictures/deeper/b.jpg")),
                                           missing}));
    // Unticked patterns count as they do for a folder added by hand.
    form.ListBox1()->clear();
    const auto items = form.findChild<QListWidget*>(QStringLiteral("CheckListBox1"));
    items->item(0)->setCheckState(Qt::Unchecked); // *.bmp
    form.OpenPaths({f.sandbox(QStringLiteral("pictures"))});
    QCOMPARE(form.FileList(), QStringList{f.sandbox(QStringLiteral("pictures/deeper/b.jpg"))});
    QVERIFY(f.prompts.Texts(Kind::Error).isEmpty());
}

QTEST_MAIN(tst_SettingsPlace)
#include "tst_SettingsPlace.moc"
