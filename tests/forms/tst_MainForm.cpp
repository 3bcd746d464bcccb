#include <memory>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QEnterEvent>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QRadioButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <QtTest>

#include "AboutBoxUnit.h"
#include "ApplicationHints.h"
#include "CheckOptionUnit.h"
#include "FakePrompts.h"
#include "Fonts.h"
#include "MainUnit.h"
#include "TestSupport.h"
#include "Widgets.h"

using orvelle::test::AnswerModal;
using orvelle::test::FakePrompts;
using orvelle::test::Find;
using orvelle::test::Sandbox;
using Kind = FakePrompts::Kind;

namespace {

const QString kNoFiles = QStringLiteral("リスト内にファイルがありませんが...┐(´～`；)┌");

// One main window over a sandbox that stands for the executable's folder.
struct Fixture {
    Sandbox sandbox;
    FakePrompts prompts;
    std::unique_ptr<TMainForm> form;

    QString Exe() const { return sandbox(QStringLiteral("orvelle")); }
    TMainForm& Open()
    {
        form = std::make_unique<TMainForm>(prompts, Exe());
        return *form;
    }
    void Close() { form.reset(); }
    QStringList Entries() const { return form->FileList(); }
    void Add(const QStringList& paths) const { form->ListBox1()->addItems(paths); }
};

void Hover(QWidget* w)
{
    QEnterEvent enter(QPointF(1, 1), QPointF(1, 1), w->mapToGlobal(QPointF(1, 1)));
    QApplication::sendEvent(w, &enter);
}

void Leave(QWidget* w)
{
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(w, &leave);
}

QStringList ActionNames(const QMenu* menu)
{
    QStringList names;
    for (const QAction* a : menu->actions())
        names << (a->menu() ? a->menu()->objectName() : a->objectName());
    return names;
}

} // namespace

class tst_MainForm : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { orvelle::RegisterFontSubstitutes(); }

    void firstStartLayout();
    void resizeMovesOnlyTheList();
    void menuCaptions_data();
    void menuCaptions();
    void menuStructure();
    void toolButtons();
    void hintsReachPanelOne();
    void addFiles();
    void addFilesWithoutPatterns();
    void addFolder();
    void closeDuringFolderScan();
    void dropKeepsWholeNames();
    void deleteSelected();
    void clearAsks();
    void closeAsksOnlyWithEntries();
    void exitIsClose();
    void settingsSurviveRestart();
    void settingsFollowStoredPath();
    void unwritableExtensionList();
    void unwritableIniFile();
    void aboutBoxIsFreshEachTime();
    void checkOnEmptyList();
    void checkAsksForOptions();
};

void tst_MainForm::firstStartLayout()
{
    Fixture f;
    TMainForm& form = f.Open();
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));

    QCOMPARE(form.windowTitle(), QStringLiteral("Orvelle"));
    QCOMPARE(form.pos(), QPoint(0, 0));
    QCOMPARE(form.StatusPanelText(0), QStringLiteral("ファイルの数：0"));
    QCOMPARE(form.StatusPanelText(1), QString());
    QCOMPARE(form.font().family(), QStringLiteral("ＭＳ Ｐゴシック"));

    // 600 × 400 below the menu: tool strip 30, status bar 19, list 480 × 351.
    QCOMPARE(Find<QWidget>(form, "Panel3")->height(), 30);
    QCOMPARE(Find<QStatusBar>(form, "StatusBar1")->height(), 19);
    QCOMPARE(Find<QWidget>(form, "Panel1")->width(), 120);
    QCOMPARE(form.ListBox1()->size(), QSize(480, 351));
    QCOMPARE(form.CheckListBox1()->width(), 115);
    QCOMPARE(Find<QLabel>(form, "Label1")->text(), QStringLiteral("■検出する拡張子■"));
    QCOMPARE(form.ListBox1()->selectionMode(), QAbstractItemView::ExtendedSelection);

    const orvelle::ExtensionItems items = form.ExtensionList();
    QStringList patterns;
    for (const auto& item : items) {
        patterns << item.pattern;
        QVERIFY(item.ticked);
    }
    QCOMPARE(patterns, (QStringList{"*.bmp", "*.jpg", "*.jpeg", "*.emf", "*.wmf"}));
}

void tst_MainForm::resizeMovesOnlyTheList()
{
    Fixture f;
    TMainForm& form = f.Open();
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    const QSize before = form.ListBox1()->size();
    form.resize(form.width() + 100, form.height() + 60);
    QTRY_COMPARE(form.ListBox1()->size(), before + QSize(100, 60));
    QCOMPARE(Find<QWidget>(form, "Panel3")->height(), 30);
    QCOMPARE(Find<QStatusBar>(form, "StatusBar1")->height(), 19);
    QCOMPARE(Find<QWidget>(form, "Panel1")->width(), 120);
    form.resize(form.width() - 200, form.height() - 100);
    QTRY_COMPARE(form.ListBox1()->size(), before - QSize(100, 40));
}

void tst_MainForm::menuCaptions_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("hint");
    QTest::newRow("mAddFiles") << "mAddFiles"
                               << "ファイル追加(&O)..."
                               << "ファイル単位でリストに追加していきます";
    QTest::newRow("mAddFolder") << "mAddFolder"
                                << "フォルダ追加(&F)..."
                                << "フォルダ単位でリストにファイルを追加していきます";
    QTest::newRow("mDeleteFile") << "mDeleteFile"
                                 << "除外(&D)"
                                 << "リスト内の選択されているファイルを除外します";
    QTest::newRow("mClear") << "mClear"
                            << "クリア(&C)"
                            << "リスト内のファイルをクリアします";
    QTest::newRow("mCheck") << "mCheck"
                            << "重複チェック(&H)..."
                            << "手動で重複画像をチェックします";
    QTest::newRow("mExit") << "mExit"
                           << "終了(&X)"
                           << "アプリケーションを終了します";
    QTest::newRow("mAbout") << "mAbout"
                            << "バージョン情報(&A)..."
                            << "";
    QTest::newRow("pAddFiles") << "pAddFiles"
                               << "ファイル追加(&O)..."
                               << "";
    QTest::newRow("pAddFolder") << "pAddFolder"
                                << "フォルダ追加(&F)..."
                                << "";
    QTest::newRow("pDeleteFile") << "pDeleteFile"
                                 << "除外(&D)"
                                 << "";
    QTest::newRow("pClear") << "pClear"
                            << "クリア(&C)"
                            << "";
    QTest::newRow("pCheck") << "pCheck"
                            << "重複チェック(&H)..."
                            << "";
}

void tst_MainForm::menuCaptions()
{
    QFETCH(QString, name);
    QFETCH(QString, caption);
    QFETCH(QString, hint);
    Fixture f;
    const QAction* item = f.Open().findChild<QAction*>(name);
    QVERIFY(item);
    QCOMPARE(item->text(), caption);
    QCOMPARE(item->statusTip(), hint);
    QVERIFY(item->shortcut().isEmpty());
    QVERIFY(item->isEnabled());
}

void tst_MainForm::menuStructure()
{
    Fixture f;
    TMainForm& form = f.Open();
    const QMenuBar* bar = form.findChild<QMenuBar*>("MainMenu1");
    QVERIFY(bar);
    const QList<QAction*> top = bar->actions();
    QCOMPARE(top.size(), 2);
    QCOMPARE(top[0]->text(), QStringLiteral("メニュー(&M)"));
    QCOMPARE(top[1]->text(), QStringLiteral("&?"));
    QCOMPARE(ActionNames(Find<QMenu>(form, "mMenu")),
             (QStringList{"mAddFiles", "mAddFolder", "N1", "mDeleteFile", "mClear", "N2", "mCheck",
                          "N3", "mExit"}));
    QCOMPARE(ActionNames(Find<QMenu>(form, "mOther")), QStringList{"mAbout"});
    QCOMPARE(
        ActionNames(form.PopupMenu1()),
        (QStringList{"pAddFiles", "pAddFolder", "N4", "pDeleteFile", "pClear", "N5", "pCheck"}));
    QCOMPARE(form.ListBox1()->contextMenuPolicy(), Qt::CustomContextMenu);
}

void tst_MainForm::toolButtons()
{
    struct Expected {
        const char* name;
        int left;
        const char* tip;
    };
    const Expected buttons[] = {{"bAddFiles", 5, "ファイル追加"},
                                {"bAddFolder", 30, "フォルダ追加"},
                                {"bDeleteFile", 60, "除外"},
                                {"bClear", 85, "クリア"},
                                {"bCheck", 115, "重複チェック"}};
    Fixture f;
    TMainForm& form = f.Open();
    for (const Expected& e : buttons) {
        const QToolButton* b = form.findChild<QToolButton*>(e.name);
        QVERIFY2(b, e.name);
        QCOMPARE(b->geometry(), QRect(e.left, 0, 25, 25));
        QCOMPARE(b->toolTip(), QString::fromUtf8(e.tip));
        QCOMPARE(b->focusPolicy(), Qt::NoFocus);
        QVERIFY(b->autoRaise());
        QVERIFY(!b->icon().isNull());
    }
}

void tst_MainForm::hintsReachPanelOne()
{
    Fixture f;
    TMainForm& form = f.Open();
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));

    auto* check = Find<QToolButton>(form, "bCheck");
    Hover(check);
    QCOMPARE(form.StatusPanelText(1),
             QStringLiteral("リスト内のすべてのファイルの重複をチェックする"));
    Leave(check);
    QCOMPARE(form.StatusPanelText(1), QString());

    // Highlighted menu items.
    auto* menu = Find<QMenu>(form, "mMenu");
    menu->popup(form.mapToGlobal(QPoint(0, 0)));
    QVERIFY(QTest::qWaitForWindowExposed(menu));
    menu->setActiveAction(Find<QAction>(form, "mDeleteFile"));
    QCOMPARE(form.StatusPanelText(1),
             QStringLiteral("リスト内の選択されているファイルを除外します"));
    menu->hide();
    auto* other = Find<QMenu>(form, "mOther");
    other->popup(form.mapToGlobal(QPoint(0, 0)));
    QVERIFY(QTest::qWaitForWindowExposed(other));
    other->setActiveAction(Find<QAction>(form, "mAbout"));
    QCOMPARE(form.StatusPanelText(1), QString());
    other->hide();

    // A control of another window.
    TCheckOptionDlg dialog(f.prompts);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    Hover(dialog.RadioButton1());
    QCOMPARE(form.StatusPanelText(1), QStringLiteral("全く同じ画像である必要がある"));
    dialog.hide();
}

void tst_MainForm::addFiles()
{
    Fixture f;
    TMainForm& form = f.Open();
    const QString a = f.sandbox.WriteFile(QStringLiteral("写真/a.jpg"));
    const QString b = f.sandbox.WriteFile(QStringLiteral("写真/b.txt"));

    // Every chosen file is appended, whatever its extension, in the dialog's order.
    f.prompts.openAnswers = {{b, a}};
    form.mAddFilesClick();
    QCOMPARE(f.Entries(), (QStringList{b, a}));
    QCOMPARE(form.StatusPanelText(0), QStringLiteral("ファイルの数：2"));
    QCOMPARE(f.prompts.lastNameFilters,
             QStringList{QStringLiteral("画像ファイル (*.bmp *.jpg *.jpeg *.emf *.wmf)")});

    // Only ticked patterns are offered; a cancelled dialog still refreshes the count.
    for (int i = 0; i < form.CheckListBox1()->count(); ++i) {
        if (form.CheckListBox1()->item(i)->text() != QStringLiteral("*.jpg"))
            form.CheckListBox1()->item(i)->setCheckState(Qt::Unchecked);
    }
    f.Add({QStringLiteral("x")});
    f.prompts.openAnswers = {{}};
    form.mAddFilesClick();
    QCOMPARE(f.prompts.lastNameFilters, QStringList{QStringLiteral("画像ファイル (*.jpg)")});
    QCOMPARE(f.prompts.lastInitialFile, b); // the first file of the last confirmed choice
    QCOMPARE(f.Entries().size(), 3);
    QCOMPARE(form.StatusPanelText(0), QStringLiteral("ファイルの数：3"));
    QCOMPARE(f.prompts.unexpected, 0);
}

void tst_MainForm::addFilesWithoutPatterns()
{
    Fixture f;
    TMainForm& form = f.Open();
    f.Add({QStringLiteral("x")});
    for (int i = 0; i < form.CheckListBox1()->count(); ++i)
        form.CheckListBox1()->item(i)->setCheckState(Qt::Unchecked);

    // Nothing ticked: no file dialog and no count refresh; the folder dialog
    // still comes, adds nothing and refreshes the count.
    form.mAddFilesClick();
    QVERIFY(f.prompts.shown.isEmpty());
    QCOMPARE(form.StatusPanelText(0), QStringLiteral("ファイルの数：0"));
    f.prompts.folderAnswers = {f.sandbox.Path()};
    f.sandbox.WriteFile(QStringLiteral("a.jpg"));
    form.mAddFolderClick();
    QCOMPARE(f.prompts.Texts(Kind::BrowseFolder),
             QStringList{QStringLiteral("検索するフォルダを指定")});
    QCOMPARE(f.Entries(), QStringList{QStringLiteral("x")});
    QCOMPARE(form.StatusPanelText(0), QStringLiteral("ファイルの数：1"));

    // An empty extension list: neither command does anything at all.
    form.SetExtensionPatterns({});
    f.prompts.shown.clear();
    form.mAddFilesClick();
    form.mAddFolderClick();
    QVERIFY(f.prompts.shown.isEmpty());
}

void tst_MainForm::addFolder()
{
    Fixture f;
    TMainForm& form = f.Open();
    const QString top = f.sandbox.MakeDir(QStringLiteral("tree"));
    const QString one = f.sandbox.WriteFile(QStringLiteral("tree/一.JPG"));
    const QString deep = f.sandbox.WriteFile(QStringLiteral("tree/sub/深い.bmp"));
    f.sandbox.WriteFile(QStringLiteral("tree/sub/note.txt"));

    f.prompts.folderAnswers = {top};
    form.mAddFolderClick();
    QStringList entries = f.Entries();
    entries.sort();
    QStringList expected{one, deep};
    expected.sort();
    QCOMPARE(entries, expected);
    QCOMPARE(form.StatusPanelText(0), QStringLiteral("ファイルの数：2"));

    // The same folder twice appends its files twice; a cancel appends nothing.
    f.prompts.folderAnswers = {top, QString()};
    form.mAddFolderClick();
    QCOMPARE(f.Entries().size(), 4);
    f.Add({QStringLiteral("y")});
    form.mAddFolderClick();
    QCOMPARE(f.Entries().size(), 5);
    QCOMPARE(form.StatusPanelText(0), QStringLiteral("ファイルの数：5"));
}

void tst_MainForm::closeDuringFolderScan()
{
    // A tree large enough that the walk is still going when the close comes.
    Fixture f;
    TMainForm& form = f.Open();
    const QString top = f.sandbox.MakeDir(QStringLiteral("big"));
    for (int i = 0; i < 400; ++i)
        f.sandbox.WriteFile(QStringLiteral("big/%1/%2/a.jpg").arg(i % 20).arg(i));
    bool closedDuringScan = false;
    QTimer::singleShot(0, &form, [&] {
        closedDuringScan = form.CheckRunning();
        form.close();
        // The other commands are refused while the walk goes on.
        form.mClearClick();
    });
    f.prompts.folderAnswers = {top};
    form.mAddFolderClick();
    if (!closedDuringScan)
        QSKIP("the scan ended before the close came");
    QVERIFY(f.prompts.shown.size() == 1); // only the folder dialog
    QVERIFY(f.Entries().isEmpty());
    QTRY_VERIFY(!form.isVisible());
}

void tst_MainForm::dropKeepsWholeNames()
{
    Fixture f;
    TMainForm& form = f.Open();
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    f.Add({QStringLiteral("first")});

    // A name far past 255 bytes, a folder, and a file of any extension.
    const QString longName = f.sandbox(QString(100, QChar(u'長')) + QStringLiteral(".jpg"));
    const QString folder = f.sandbox.MakeDir(QStringLiteral("フォルダ"));
    const QString text = f.sandbox.WriteFile(QStringLiteral("readme.txt"));
    QMimeData mime;
    mime.setUrls(
        {QUrl::fromLocalFile(longName), QUrl::fromLocalFile(folder), QUrl::fromLocalFile(text)});

    const QPointF at(form.ListBox1()->mapTo(&form, QPoint(10, 10)));
    QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&form, &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&form, &drop);

    QCOMPARE(f.Entries(), (QStringList{QStringLiteral("first"), longName, folder, text}));
    QVERIFY(longName.toUtf8().size() > 255);
    QCOMPARE(form.StatusPanelText(0), QStringLiteral("ファイルの数：4"));
}

void tst_MainForm::deleteSelected()
{
    Fixture f;
    TMainForm& form = f.Open();
    const QString noneSelected =
        QStringLiteral("リスト内にファイルがないか、選択されてませんが...┐(´～`；)┌");

    form.mDeleteFileClick();
    QCOMPARE(f.prompts.Texts(Kind::Message), QStringList{noneSelected});

    f.Add({"e0", "e1", "e2", "e3", "e4"});
    form.mDeleteFileClick();
    QCOMPARE(f.prompts.Texts(Kind::Message).size(), 2);
    QCOMPARE(f.Entries().size(), 5);
    QCOMPARE(form.StatusPanelText(0), QStringLiteral("ファイルの数：0")); // not refreshed

    form.ListBox1()->item(1)->setSelected(true);
    form.ListBox1()->item(3)->setSelected(true);
    form.mDeleteFileClick();
    QCOMPARE(f.Entries(), (QStringList{"e0", "e2", "e4"}));
    QCOMPARE(form.StatusPanelText(0), QStringLiteral("ファイルの数：3"));

    // Through the tool button, selecting every entry.
    form.ListBox1()->selectAll();
    Find<QToolButton>(form, "bDeleteFile")->click();
    QVERIFY(f.Entries().isEmpty());
    QCOMPARE(form.StatusPanelText(0), QStringLiteral("ファイルの数：0"));
}

void tst_MainForm::clearAsks()
{
    Fixture f;
    TMainForm& form = f.Open();
    form.mClearClick();
    QCOMPARE(f.prompts.Texts(Kind::Message), QStringList{kNoFiles});
    QVERIFY(f.prompts.Texts(Kind::Confirm).isEmpty());

    f.Add({"a", "b"});
    f.prompts.confirmAnswers = {false, true};
    form.mClearClick();
    QCOMPARE(f.prompts.Texts(Kind::Confirm),
             QStringList{QStringLiteral("リストをクリアしますか？")});
    QCOMPARE(f.Entries().size(), 2);
    QCOMPARE(form.StatusPanelText(0), QStringLiteral("ファイルの数：2"));
    Find<QAction>(form, "pClear")->trigger();
    QVERIFY(f.Entries().isEmpty());
    QCOMPARE(form.StatusPanelText(0), QStringLiteral("ファイルの数：0"));
    QCOMPARE(f.prompts.unexpected, 0);
}

void tst_MainForm::closeAsksOnlyWithEntries()
{
    Fixture f;
    TMainForm& form = f.Open();
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QVERIFY(form.close());
    QVERIFY(f.prompts.shown.isEmpty());

    form.show();
    f.Add({"a"});
    f.prompts.confirmAnswers = {false, true};
    QVERIFY(!form.close());
    QVERIFY(form.isVisible());
    QCOMPARE(f.prompts.Texts(Kind::Confirm), QStringList{QStringLiteral("本当に終了しますか？")});
    QCOMPARE(f.Entries(), QStringList{"a"});
    QVERIFY(form.close());
    QVERIFY(!form.isVisible());
}

void tst_MainForm::exitIsClose()
{
    Fixture f;
    TMainForm& form = f.Open();
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    f.Add({"a"});
    f.prompts.confirmAnswers = {false, true};
    Find<QAction>(form, "mExit")->trigger();
    QVERIFY(form.isVisible());
    Find<QAction>(form, "mExit")->trigger();
    QVERIFY(!form.isVisible());
    QCOMPARE(f.prompts.Texts(Kind::Confirm).size(), 2);
}

void tst_MainForm::settingsSurviveRestart()
{
    Fixture f;
    {
        TMainForm& form = f.Open();
        form.move(120, 45);
        form.Err_Count = 30;
        form.Err_Clr = -5;
        form.CheckListBox1()->item(0)->setCheckState(Qt::Unchecked);
        f.Close();
    }
    QVERIFY(f.prompts.Texts(Kind::Error).isEmpty());
    QCOMPARE(f.sandbox.ReadFile(QStringLiteral("orvelle.ext")),
             QByteArray("*.bmp\r\n*.jpg\r\n*.jpeg\r\n*.emf\r\n*.wmf\r\n"));
    const QByteArray ini = f.sandbox.ReadFile(QStringLiteral("orvelle.ini"));
    const qsizetype ext = ini.indexOf("[ExtList]");
    const qsizetype window = ini.indexOf("[Window]");
    const qsizetype option = ini.indexOf("[Option]");
    QVERIFY(ext >= 0 && ext < window && window < option);
    QVERIFY(ini.indexOf("Top") < ini.indexOf("Left"));
    QVERIFY(ini.indexOf("Err_Count") < ini.indexOf("Err_Clr"));
    QVERIFY(ini.contains(QFile::encodeName(f.sandbox(QStringLiteral("orvelle.ext")))));

    // A restart gets it all back, with every pattern ticked again.
    TMainForm& again = f.Open();
    QCOMPARE(again.pos(), QPoint(120, 45));
    QCOMPARE(again.Err_Count, 30);
    QCOMPARE(again.Err_Clr, -5);
    for (const auto& item : again.ExtensionList())
        QVERIFY(item.ticked);
}

void tst_MainForm::settingsFollowStoredPath()
{
    Fixture f;
    const QString other =
        f.sandbox.WriteFile(QStringLiteral("別/patterns.txt"), QByteArray("*.png\r\n\r\n*.gif"));
    f.sandbox.WriteFile(QStringLiteral("orvelle.ini"),
                        QByteArray("[ExtList]\r\nPath=") + QFile::encodeName(other) +
                            "\r\n[Option]\r\nErr_Count=0x1E\r\nErr_Clr=abc\r\n");
    TMainForm& form = f.Open();
    QStringList patterns;
    for (const auto& item : form.ExtensionList()) {
        patterns << item.pattern;
        QVERIFY(item.ticked);
    }
    QCOMPARE(patterns, (QStringList{"*.png", "", "*.gif"}));
    QCOMPARE(form.Err_Count, 30);
    QCOMPARE(form.Err_Clr, 25);
    f.Close();
    QCOMPARE(f.sandbox.ReadFile(QStringLiteral("別/patterns.txt")),
             QByteArray("*.png\r\n\r\n*.gif\r\n"));
    QVERIFY(!QFile::exists(f.sandbox(QStringLiteral("orvelle.ext"))));
}

void tst_MainForm::unwritableExtensionList()
{
    Fixture f;
    const QString missing = f.sandbox(QStringLiteral("gone/list.ext"));
    const QByteArray stored = QByteArray("[ExtList]\r\nPath=") + QFile::encodeName(missing) +
                              "\r\n[Window]\r\nTop=7\r\nLeft=9\r\n";
    f.sandbox.WriteFile(QStringLiteral("orvelle.ini"), stored);
    TMainForm& form = f.Open();
    QCOMPARE(form.pos(), QPoint(9, 7));
    form.move(300, 300);
    f.Close();
    QCOMPARE(f.prompts.Texts(Kind::Error),
             QStringList{QStringLiteral("ファイル %1 を作成できません").arg(missing)});
    // A list that cannot be written takes no other setting with it.
    const QByteArray ini = f.sandbox.ReadFile(QStringLiteral("orvelle.ini"));
    QVERIFY(ini.contains("Path=" + QFile::encodeName(missing) + "\r\n"));
    QVERIFY(ini.contains("Top=300\r\nLeft=300\r\n"));
    QVERIFY(ini.contains("Err_Count=25\r\nErr_Clr=25\r\n"));
}

void tst_MainForm::unwritableIniFile()
{
    Fixture f;
    f.sandbox.MakeDir(QStringLiteral("orvelle.ini"));
    f.Open();
    f.Close();
    QCOMPARE(
        f.prompts.Texts(Kind::Error),
        QStringList{
            QStringLiteral("%1 に書き込めません").arg(f.sandbox(QStringLiteral("orvelle.ini")))});
    QVERIFY(QFileInfo(f.sandbox(QStringLiteral("orvelle.ini"))).isDir());
    QCOMPARE(f.sandbox.ReadFile(QStringLiteral("orvelle.ext")),
             QByteArray("*.bmp\r\n*.jpg\r\n*.jpeg\r\n*.emf\r\n*.wmf\r\n"));
}

void tst_MainForm::aboutBoxIsFreshEachTime()
{
    Fixture f;
    TMainForm& form = f.Open();
    for (int round = 0; round < 2; ++round) {
        QPointer<TAboutBox> shown;
        AnswerModal<TAboutBox>([&](TAboutBox& box) {
            shown = &box;
            box.accept();
        });
        Find<QAction>(form, "mAbout")->trigger();
        QVERIFY(shown);
        QCOMPARE(shown->parent(), &form);
        QTRY_VERIFY(!shown); // released once its pending events are handled
    }
}

void tst_MainForm::checkOnEmptyList()
{
    Fixture f;
    TMainForm& form = f.Open();
    TCheckOptionDlg options(f.prompts);
    form.AttachDialogs(nullptr, &options);
    Find<QToolButton>(form, "bCheck")->click();
    QCOMPARE(f.prompts.Texts(Kind::Message), QStringList{kNoFiles});
    QVERIFY(!options.isVisible());
}

void tst_MainForm::checkAsksForOptions()
{
    Fixture f;
    TMainForm& form = f.Open();
    TCheckOptionDlg options(f.prompts);
    form.AttachDialogs(nullptr, &options);
    f.Add({"a"});
    form.Err_Count = 30;
    form.Err_Clr = 7;

    // Cancel: nothing changes, and the flag says the run is off.
    QStringList offered;
    AnswerModal<TCheckOptionDlg>(
        [&](TCheckOptionDlg& dlg) {
            offered << dlg.Memo1()->text() << dlg.Memo2()->text();
            dlg.Memo1()->setText(QStringLiteral("99"));
            dlg.reject();
        },
        nullptr, &options);
    form.mCheckClick();
    QCOMPARE(offered, (QStringList{"30", "7"}));
    QVERIFY(form.CancelFlag);
    QCOMPARE(form.Err_Count, 30);

    // OK with texts that are not integers: the fallbacks 15 and 50.
    AnswerModal<TCheckOptionDlg>(
        [](TCheckOptionDlg& dlg) {
            dlg.RadioButton2()->setChecked(true);
            dlg.CheckBox1()->setChecked(false);
            dlg.Memo1()->setText(QString());
            dlg.Memo2()->setText(QStringLiteral("1a"));
            dlg.accept();
        },
        nullptr, &options);
    form.mCheckClick();
    QVERIFY(!form.CancelFlag);
    QVERIFY(!form.ExactMode);
    QVERIFY(!form.IgnoreSize);
    QCOMPARE(form.Err_Count, 15);
    QCOMPARE(form.Err_Clr, 50);

    AnswerModal<TCheckOptionDlg>(
        [](TCheckOptionDlg& dlg) {
            dlg.Memo1()->setText(QStringLiteral("40"));
            dlg.Memo2()->setText(QStringLiteral("0"));
            dlg.accept();
        },
        nullptr, &options);
    form.mCheckClick();
    QCOMPARE(form.Err_Count, 40);
    QCOMPARE(form.Err_Clr, 0);
}

QTEST_MAIN(tst_MainForm)
#include "tst_MainForm.moc"
