#include <memory>

#include <QApplication>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QFile>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>

#include "CheckOptionUnit.h"
#include "CompUnit.h"
#include "FakePrompts.h"
#include "Fonts.h"
#include "MainUnit.h"
#include "ProgressUnit.h"
#include "TestSupport.h"
#include "Widgets.h"

using orvelle::test::AnswerModal;
using orvelle::test::Bmp24;
using orvelle::test::FakePrompts;
using orvelle::test::Find;
using orvelle::test::Sandbox;
using Kind = FakePrompts::Kind;

namespace {

// The main window with both lasting dialogs, over a sandbox.
struct Program {
    Sandbox sandbox;
    FakePrompts prompts;
    std::unique_ptr<TMainForm> main;
    std::unique_ptr<TProgressDlg> progress;
    std::unique_ptr<TCheckOptionDlg> options;

    Program()
    {
        main = std::make_unique<TMainForm>(prompts, sandbox(QStringLiteral("orvelle")));
        progress = std::make_unique<TProgressDlg>(main->CancelFlag, prompts);
        options = std::make_unique<TCheckOptionDlg>(prompts);
        main->AttachDialogs(progress.get(), options.get());
    }
    void Add(const QStringList& paths) { main->ListBox1()->addItems(paths); }

    // Two files of one size that differ only in their last byte, large
    // enough for a run that lasts seconds: sparse, so they take no space.
    QStringList SlowList() const
    {
        QStringList files;
        constexpr qint64 kSize = qint64(16) << 30;
        for (int i = 0; i < 2; ++i) {
            QFile file(sandbox(QStringLiteral("f%1.bmp").arg(i)));
            if (!file.open(QIODevice::WriteOnly) || !file.resize(kSize - 1) ||
                !file.seek(kSize - 1) || !file.putChar(char(i)))
                qFatal("cannot make a sparse file");
            files << file.fileName();
        }
        return files;
    }

    // Answers the options dialog when it comes up: exact or fuzzy, then OK.
    void AnswerOptions(bool exact)
    {
        AnswerModal<TCheckOptionDlg>(
            [exact](TCheckOptionDlg& dlg) {
                (exact ? dlg.RadioButton1() : dlg.RadioButton2())->setChecked(true);
                dlg.accept();
            },
            nullptr, options.get());
    }
};

} // namespace

class tst_CheckCommand : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { orvelle::RegisterFontSubstitutes(); }
    void exactRunShowsGroupsAndEmptiesTheList();
    void fuzzyRunFindsScaledCopies();
    void noDuplicates();
    void anUnreadableFileStopsTheRun();
    void cancelStopsTheRun();
    void closingTheWindowEndsTheRunFirst();
};

void tst_CheckCommand::exactRunShowsGroupsAndEmptiesTheList()
{
    Program p;
    const QString a = p.sandbox.WriteFile("a.bmp", "one");
    const QString b = p.sandbox.WriteFile("b.bmp", "two");
    const QString c = p.sandbox.WriteFile("c.bmp", "one");
    const QString d = p.sandbox.WriteFile("d.bmp", "one");
    p.Add({a, b, c, d});
    p.AnswerOptions(true);
    QStringList groups;
    auto* timer = new QTimer(p.main.get());
    connect(timer, &QTimer::timeout, p.main.get(), [&] {
        auto* form = qobject_cast<TCompForm*>(QApplication::activeModalWidget());
        if (!form)
            return;
        QTreeWidget* tree = form->TreeView1();
        for (int g = 0; g < tree->topLevelItemCount(); ++g) {
            const QTreeWidgetItem* root = tree->topLevelItem(g);
            QStringList children;
            for (int k = 0; k < root->childCount(); ++k)
                children << root->child(k)->text(0);
            groups << root->text(0) + QStringLiteral(": ") + children.join(QStringLiteral(", "));
            QVERIFY(!root->isExpanded());
        }
        timer->stop();
        form->close();
    });
    timer->start(20);
    p.main->mCheckClick();

    QCOMPARE(groups, QStringList{QStringLiteral("00000001: %1, %2, %3").arg(a, d, c)});
    QVERIFY(p.main->FileList().isEmpty());
    QCOMPARE(p.main->StatusPanelText(0), QStringLiteral("ファイルの数：0"));
    QVERIFY(!p.progress->isVisible());
    QVERIFY(p.prompts.shown.isEmpty());
    // The progress dialog showed the last pair compared.
    QVERIFY(p.progress->Label1()->text().startsWith(QStringLiteral("比較元：")));
    QVERIFY(p.progress->Label2()->text().startsWith(QStringLiteral("比較先：")));
}

void tst_CheckCommand::fuzzyRunFindsScaledCopies()
{
    Program p;
    const auto picture = [](int x, int y) {
        return unsigned(((x / 4) * 40) << 16 | ((y / 4) * 40));
    };
    const QString big = p.sandbox.WriteFile("big.bmp", Bmp24(32, 32, picture));
    const QString small = p.sandbox.WriteFile(
        "small.bmp", Bmp24(16, 16, [&](int x, int y) { return picture(2 * x + 1, 2 * y + 1); }));
    const QString other = p.sandbox.WriteFile("other.bmp", Bmp24(16, 16, [](int x, int y) {
                                                  return unsigned((x ^ y) & 1 ? 0xFFFFFF : 0);
                                              }));
    p.Add({big, other, small});
    p.AnswerOptions(false);
    QStringList groups;
    auto* timer = new QTimer(p.main.get());
    connect(timer, &QTimer::timeout, p.main.get(), [&] {
        auto* form = qobject_cast<TCompForm*>(QApplication::activeModalWidget());
        if (!form)
            return;
        const QTreeWidgetItem* root = form->TreeView1()->topLevelItem(0);
        groups << root->text(0) << root->child(0)->text(0) << root->child(1)->text(0);
        timer->stop();
        form->close();
    });
    timer->start(20);
    p.main->mCheckClick();
    QCOMPARE(groups, (QStringList{"00000001", big, small}));
    QVERIFY(!p.main->ExactMode);
}

void tst_CheckCommand::noDuplicates()
{
    Program p;
    const QString a = p.sandbox.WriteFile("a.bmp", "one");
    p.Add({a, a, p.sandbox.WriteFile("b.bmp", "two")});
    p.AnswerOptions(true);
    p.main->mCheckClick();
    QCOMPARE(p.prompts.Texts(Kind::Message), QStringList{QStringLiteral("重複画像はありません！")});
    QCOMPARE(p.main->FileList().size(), 3);
    QVERIFY(!p.progress->isVisible());
}

void tst_CheckCommand::anUnreadableFileStopsTheRun()
{
    Program p;
    const QString a = p.sandbox.WriteFile("a.bmp", "one");
    const QString copy = p.sandbox.WriteFile("copy.bmp", "one");
    const QString missing = p.sandbox("missing.bmp");
    // From the end: copy matches a and goes; then the missing file stops the run.
    p.Add({a, missing, copy});
    p.AnswerOptions(true);
    Find<QAction>(p.main.get(), "mCheck")->trigger();
    QCOMPARE(p.prompts.Texts(Kind::Error),
             QStringList{QStringLiteral("ファイル %1 は開けません").arg(missing)});
    QVERIFY(p.prompts.Texts(Kind::Message).isEmpty());
    QCOMPARE(p.main->FileList(), (QStringList{a, missing}));
    QCOMPARE(p.main->StatusPanelText(0), QStringLiteral("ファイルの数：2"));
    QVERIFY(!p.progress->isVisible());
}

void tst_CheckCommand::cancelStopsTheRun()
{
    Program p;
    const QStringList files = p.SlowList();
    p.Add(files);
    p.AnswerOptions(true);
    bool addRefused = false;
    QTimer::singleShot(150, p.main.get(), [&] {
        QVERIFY(p.main->CheckRunning());
        QVERIFY(p.progress->isVisible());
        // Commands that would change the list are refused meanwhile.
        p.main->WMDropFiles({QStringLiteral("dropped")});
        addRefused = !p.main->FileList().contains(QStringLiteral("dropped"));
        QTest::keyClick(p.progress.get(), Qt::Key_Escape);
    });
    p.main->mCheckClick();
    QVERIFY(addRefused);
    QVERIFY(p.main->CancelFlag);
    QVERIFY(!p.progress->isVisible());
    QVERIFY(p.prompts.shown.isEmpty()); // no message, no results
    QCOMPARE(p.main->FileList(), files);
}

void tst_CheckCommand::closingTheWindowEndsTheRunFirst()
{
    Program p;
    const QStringList files = p.SlowList();
    p.Add(files);
    p.main->show();
    QVERIFY(QTest::qWaitForWindowExposed(p.main.get()));
    p.AnswerOptions(true);
    p.prompts.confirmAnswers = {true};
    bool closedAtOnce = true;
    QTimer::singleShot(150, p.main.get(), [&] {
        QVERIFY(p.main->CheckRunning());
        closedAtOnce = p.main->close();
    });
    p.main->mCheckClick();
    QVERIFY(!closedAtOnce); // the window waited for the run
    QVERIFY(p.main->CancelFlag);
    QCOMPARE(p.prompts.Texts(Kind::Confirm), QStringList{QStringLiteral("本当に終了しますか？")});
    QTRY_VERIFY(!p.main->isVisible()); // and closed once it had ended, without asking again
    QCOMPARE(p.prompts.Texts(Kind::Confirm).size(), 1);
}

QTEST_MAIN(tst_CheckCommand)
#include "tst_CheckCommand.moc"
