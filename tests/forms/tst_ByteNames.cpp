// Files whose names are not UTF-8 (and their valid neighbours) through every
// window: dropped, scanned, chosen in Qt's own dialogs, checked, shown,
// deleted and copied, and the settings of a program kept in such a folder.

#include <memory>

#include <QAction>
#include <QApplication>
#include <QDropEvent>
#include <QFileDialog>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QMessageBox>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>
#include <QtTest>

#include "ByteNames.h"
#include "CheckOptionUnit.h"
#include "CheckRun.h"
#include "CompUnit.h"
#include "FakePrompts.h"
#include "Fonts.h"
#include "MainUnit.h"
#include "NativePath.h"
#include "ProgressUnit.h"
#include "RealNameFileDialog.h"
#include "ResultsTree.h"
#include "TestSupport.h"
#include "UserPrompts.h"
#include "Widgets.h"

using orvelle::PathFromNative;
using orvelle::PathToNative;
using orvelle::test::AnswerModal;
using orvelle::test::AsBmp;
using orvelle::test::ByteName;
using orvelle::test::ByteNames;
using orvelle::test::ByteSandbox;
using orvelle::test::Find;
using orvelle::test::JoinBytes;
using orvelle::test::ListRaw;
using orvelle::test::LossyText;
using orvelle::test::PlainBmp24;
using orvelle::test::ReadRaw;
using orvelle::test::WriteRaw;
using Kind = orvelle::test::FakePrompts::Kind;

namespace {

// Every byte name as a BMP of its own, each beside the file a lossy
// decoding of its name would reach instead (a real name with U+FFFD in it),
// which holds another picture.
struct Pictures {
    ByteSandbox box;
    QList<QByteArray> files;

    Pictures()
    {
        int k = 0;
        for (const ByteName& name : ByteNames()) {
            const QByteArray path = box.At(AsBmp(name.bytes));
            WriteRaw(path, PlainBmp24(4 + k, 3, 0x102030u * unsigned(k + 1)));
            ++k;
            files << path;
            if (LossyText(path).toUtf8() != path)
                WriteRaw(LossyText(path).toUtf8(), PlainBmp24(9, 9, 0xFFFFFF));
        }
    }
    QStringList Paths() const
    {
        QStringList paths;
        for (const QByteArray& f : files)
            paths << PathFromNative(f);
        return paths;
    }
    QStringList Shown() const
    {
        QStringList shown;
        for (const QByteArray& f : files)
            shown << LossyText(f);
        return shown;
    }
};

QStringList ListTexts(const QListWidget& list)
{
    QStringList texts;
    for (int i = 0; i < list.count(); ++i)
        texts << list.item(i)->text();
    return texts;
}

// Answers a file dialog as the user types the names in: its name line gets
// the names Qt shows, quoted when there are several. (The list's own
// selection, which the line's completion may have made of some of them,
// would win.) A box the dialog puts up about them is closed and counted, so
// that a refused name fails the test instead of hanging it.
void GiveNames(QDialog& dialog, const QStringList& shown, int& boxes)
{
    QTimer::singleShot(0, [&boxes] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            ++boxes;
            box->done(0);
        }
    });
    QStringList quoted;
    for (const QString& name : shown)
        quoted << u'"' + name + u'"';
    Find<QLineEdit>(&dialog, "fileNameEdit")
        ->setText(quoted.size() == 1 ? shown.front() : quoted.join(u' '));
    Find<QListView>(&dialog, "listView")->clearSelection();
    dialog.accept();
}

QUrl FileUrl(const QByteArray& path)
{
    return QUrl::fromEncoded("file://" + path.toPercentEncoding("/"));
}

} // namespace

class tst_ByteNames : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void dropKeepsTheBytes();
    void folderScanListsEveryName();
    void checkShowsTheNamesAsQtWould();
    void resultsWindowShowsAndDeletesThatFile();
    void saveAsCopiesFromAndToSuchNames();
    void openDialogAnswersWithTheRealNames();
    void folderDialogAnswersWithTheRealFolder();
    void settingsLiveBesideAProgramInSuchAFolder();
};

void tst_ByteNames::initTestCase()
{
    orvelle::RegisterFontSubstitutes();
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
}

void tst_ByteNames::dropKeepsTheBytes()
{
    const Pictures p;
    orvelle::test::FakePrompts prompts;
    TMainForm form(prompts, PathFromNative(p.box.At("orvelle")));
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));

    // A file manager percent-encodes the name's bytes as they are.
    QMimeData mime;
    QList<QUrl> urls;
    for (const QByteArray& f : p.files)
        urls << FileUrl(f);
    mime.setUrls(urls);
    const QPointF at(form.ListBox1()->mapTo(&form, QPoint(10, 10)));
    QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&form, &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&form, &drop);

    QCOMPARE(form.FileList(), p.Paths());
    QCOMPARE(ListTexts(*form.ListBox1()), p.Shown());
    for (const QString& path : form.FileList())
        QVERIFY(orvelle::test::ExistsRaw(PathToNative(path)));
    QCOMPARE(prompts.unexpected, 0);
}

void tst_ByteNames::folderScanListsEveryName()
{
    const ByteSandbox box;
    const QByteArray folder = box.At("archive \x82\xa0");
    orvelle::test::MakeDirRaw(folder);
    QSet<QString> expected;
    for (const ByteName& name : ByteNames()) {
        WriteRaw(JoinBytes(folder, name.bytes), name.bytes);
        expected << PathFromNative(JoinBytes(folder, name.bytes));
    }
    orvelle::test::FakePrompts prompts;
    TMainForm form(prompts, PathFromNative(box.At("orvelle")));
    prompts.folderAnswers = {PathFromNative(folder)};
    form.mAddFolderClick();

    const QStringList listed = form.FileList();
    QCOMPARE(QSet<QString>(listed.begin(), listed.end()), expected);
    QCOMPARE(listed.size(), expected.size());
    for (int i = 0; i < listed.size(); ++i)
        QCOMPARE(form.ListBox1()->item(i)->text(), LossyText(PathToNative(listed[i])));
    QCOMPARE(prompts.unexpected, 0);
}

void tst_ByteNames::checkShowsTheNamesAsQtWould()
{
    // The case that came up: a Shift-JIS and a Latin-1 name holding the same
    // bytes, beside two ASCII names that do.
    const ByteSandbox box;
    WriteRaw(box.At("b\x82\xa0.jpg"), "same bytes");
    WriteRaw(box.At("c\xe9.jpg"), "same bytes");
    WriteRaw(box.At("x.jpg"), "other bytes");
    WriteRaw(box.At("y.jpg"), "other bytes");

    orvelle::test::FakePrompts prompts;
    auto main = std::make_unique<TMainForm>(prompts, PathFromNative(box.At("orvelle")));
    const auto progress = std::make_unique<TProgressDlg>(main->CancelFlag, prompts);
    const auto options = std::make_unique<TCheckOptionDlg>(prompts);
    main->AttachDialogs(progress.get(), options.get());
    prompts.folderAnswers = {PathFromNative(box.Root())};
    main->mAddFolderClick();
    QCOMPARE(main->FileList().size(), 4);

    AnswerModal<TCheckOptionDlg>(
        [](TCheckOptionDlg& dlg) {
            dlg.RadioButton1()->setChecked(true);
            dlg.accept();
        },
        nullptr, options.get());
    QSet<QString> shown;
    QSet<QByteArray> real;
    int groups = 0;
    auto* timer = new QTimer(main.get());
    connect(timer, &QTimer::timeout, main.get(), [&] {
        auto* form = qobject_cast<TCompForm*>(QApplication::activeModalWidget());
        if (!form)
            return;
        QTreeWidget* tree = form->TreeView1();
        groups = tree->topLevelItemCount();
        for (int g = 0; g < groups; ++g) {
            for (int k = 0; k < tree->topLevelItem(g)->childCount(); ++k) {
                const QTreeWidgetItem* node = tree->topLevelItem(g)->child(k);
                shown << node->text(0);
                real << PathToNative(orvelle::NodePath(*node));
            }
        }
        timer->stop();
        form->close();
    });
    timer->start(20);
    main->mCheckClick();

    QCOMPARE(groups, 2);
    QCOMPARE(shown,
             (QSet<QString>{LossyText(box.At("b\x82\xa0.jpg")), LossyText(box.At("c\xe9.jpg")),
                            LossyText(box.At("x.jpg")), LossyText(box.At("y.jpg"))}));
    QCOMPARE(real, (QSet<QByteArray>{box.At("b\x82\xa0.jpg"), box.At("c\xe9.jpg"), box.At("x.jpg"),
                                     box.At("y.jpg")}));
    QCOMPARE(prompts.Texts(Kind::Error), QStringList());
    QCOMPARE(prompts.unexpected, 0);
}

void tst_ByteNames::resultsWindowShowsAndDeletesThatFile()
{
    const Pictures p;
    orvelle::test::FakePrompts prompts;
    TCompForm form(prompts, nullptr);
    QStringList records;
    for (const QString& path : p.Paths())
        records << orvelle::MatchRecord(1, path);
    orvelle::BuildResultsTree(*form.TreeView1(), records);
    form.TreeView1()->expandAll();
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));

    QTreeWidgetItem* group = form.TreeView1()->topLevelItem(0);
    QCOMPARE(group->childCount(), p.files.size());
    for (int k = 0; k < p.files.size(); ++k) {
        QTreeWidgetItem* node = group->child(k);
        QCOMPARE(node->text(0), LossyText(p.files[k]));
        form.TreeView1()->setCurrentItem(node);
        form.TreeView1Click();
        // The name may hold a line break; the details go on after it.
        const QString details = form.Memo1()->toPlainText();
        const QString nameLine = QStringLiteral("ﾌｧｲﾙ名：") + LossyText(p.files[k]) + u'\n';
        QVERIFY2(details.startsWith(nameLine), qPrintable(details));
        QCOMPARE(details.mid(nameLine.size()).split(u'\n').value(2),
                 QStringLiteral("画像幅：%1").arg(4 + k));
        QCOMPARE(form.SizeOfFile(*node), double(ReadRaw(p.files[k]).size()));
    }

    // Deleting takes the file the node stands for, and nothing beside it.
    for (int k = 0; k < p.files.size(); ++k) {
        const QList<QByteArray> before = ListRaw(p.box.Root());
        form.TreeView1()->setCurrentItem(group->child(0));
        prompts.confirmAnswers = {true};
        Find<QAction>(&form, "Delete1")->trigger();
        QList<QByteArray> expected = before;
        expected.removeOne(AsBmp(ByteNames()[k].bytes));
        QCOMPARE(ListRaw(p.box.Root()), expected);
        QCOMPARE(group->childCount(), p.files.size() - k - 1);
    }
    QCOMPARE(prompts.Texts(Kind::Error), QStringList());
    QCOMPARE(prompts.unexpected, 0);
}

void tst_ByteNames::saveAsCopiesFromAndToSuchNames()
{
    const Pictures p;
    orvelle::test::FakePrompts prompts;
    TCompForm form(prompts, nullptr);
    orvelle::BuildResultsTree(*form.TreeView1(), {orvelle::MatchRecord(1, p.Paths()[0])});
    form.TreeView1()->expandAll();
    QTreeWidgetItem* node = form.TreeView1()->topLevelItem(0)->child(0);
    form.TreeView1()->setCurrentItem(node);

    const QByteArray source = ReadRaw(p.files[0]);
    for (const ByteName& name : ByteNames()) {
        const QByteArray target = p.box.At("copy " + AsBmp(name.bytes));
        prompts.openAnswers.push_back({PathFromNative(target)});
        Find<QAction>(&form, "SaveAs1")->trigger();
        QCOMPARE(ReadRaw(target), source);
    }
    // The dialog offers the last name again, as Qt can show it.
    prompts.openAnswers.push_back({});
    Find<QAction>(&form, "SaveAs1")->trigger();
    QCOMPARE(prompts.lastInitialFile,
             LossyText(p.box.At("copy " + AsBmp(ByteNames().back().bytes))));
    // Neither the source nor the files beside the copies were touched.
    QCOMPARE(ReadRaw(p.files[0]), source);
    QCOMPARE(ReadRaw(LossyText(p.files[1]).toUtf8()), PlainBmp24(9, 9, 0xFFFFFF));
    QCOMPARE(prompts.Texts(Kind::Error), QStringList());
    QCOMPARE(prompts.unexpected, 0);
}

void tst_ByteNames::openDialogAnswersWithTheRealNames()
{
    // Only the byte names: a real name that shows alike would be the answer.
    const ByteSandbox box;
    QList<QByteArray> files;
    for (const ByteName& name : ByteNames()) {
        files << box.At(name.bytes);
        WriteRaw(files.back(), name.bytes);
    }
    orvelle::RealNameFileDialog dialog;
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setDirectory(box.Box().Path());
    int boxes = 0;
    const auto choose = [&boxes](const QStringList& shown) {
        return [shown, &boxes](QDialog& d) { GiveNames(d, shown, boxes); };
    };
    orvelle::QtPrompts prompts;
    AnswerModal<QDialog>(choose({LossyText(ByteNames()[0].bytes)}), nullptr, &dialog);
    QStringList answer = prompts.RunOpenDialog(dialog);
    QCOMPARE(boxes, 0);
    QCOMPARE(answer.size(), 1);
    QCOMPARE(PathToNative(answer.front()), files[0]);

    // Several at once, a valid name among them.
    AnswerModal<QDialog>(
        choose({LossyText(ByteNames()[1].bytes), LossyText(ByteNames().back().bytes)}), nullptr,
        &dialog);
    answer = prompts.RunOpenDialog(dialog);
    QCOMPARE(boxes, 0);
    QCOMPARE(answer.size(), 2);
    QCOMPARE(PathToNative(answer[0]), files[1]);
    QCOMPARE(PathToNative(answer[1]), files.back());

    // Two names that Qt shows alike stand for neither: the dialog keeps
    // asking, its own "not found" box coming up.
    WriteRaw(box.At("twin\xe9.bmp"), "1");
    WriteRaw(box.At("twin\xea.bmp"), "2");
    bool leftOpen = false;
    AnswerModal<QDialog>(choose({QStringLiteral("twin\uFFFD.bmp")}), &leftOpen, &dialog);
    QVERIFY(prompts.RunOpenDialog(dialog).isEmpty());
    QVERIFY(leftOpen);
    QCOMPARE(boxes, 1);
}

void tst_ByteNames::folderDialogAnswersWithTheRealFolder()
{
    const ByteSandbox box;
    const QByteArray folder = box.At("album \x82\xa0");
    orvelle::test::MakeDirRaw(folder);
    int boxes = 0;
    QFileDialog::FileMode mode = QFileDialog::AnyFile;
    AnswerModal<QDialog>([&](QDialog& d) {
        auto& files = static_cast<QFileDialog&>(d);
        mode = files.fileMode();
        files.setDirectory(box.Box().Path());
        GiveNames(d, {LossyText("album \x82\xa0")}, boxes);
    });
    orvelle::QtPrompts prompts;
    QCOMPARE(PathToNative(prompts.BrowseFolder(nullptr, QStringLiteral("検索するフォルダを指定"))),
             folder);
    QCOMPARE(mode, QFileDialog::Directory);
    QCOMPARE(boxes, 0);
}

void tst_ByteNames::settingsLiveBesideAProgramInSuchAFolder()
{
    const ByteSandbox box;
    const QByteArray folder = box.At("program \x82\xa0");
    orvelle::test::MakeDirRaw(folder);
    const QString exe = PathFromNative(JoinBytes(folder, "orvelle"));
    orvelle::test::FakePrompts prompts;
    {
        TMainForm form(prompts, exe);
        form.Err_Count = 33;
        form.SetExtensionPatterns({QStringLiteral("*.emf"), QStringLiteral("*.\u00e9")});
    }
    QCOMPARE(ListRaw(folder), (QList<QByteArray>{"orvelle.ext", "orvelle.ini"}));
    QVERIFY(ReadRaw(JoinBytes(folder, "orvelle.ini"))
                .contains("Path=" + JoinBytes(folder, "orvelle.ext")));

    TMainForm again(prompts, exe);
    QCOMPARE(again.Err_Count, 33);
    QCOMPARE(again.CheckListBox1()->count(), 2);
    QCOMPARE(again.CheckListBox1()->item(0)->text(), QStringLiteral("*.emf"));
    QCOMPARE(again.CheckListBox1()->item(1)->text(), QStringLiteral("*.\u00e9"));
    QCOMPARE(prompts.Texts(Kind::Error), QStringList());
    QCOMPARE(prompts.unexpected, 0);
}

QTEST_MAIN(tst_ByteNames)
#include "tst_ByteNames.moc"
