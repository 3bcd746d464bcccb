// TCompForm, the results window: its controls, layout, tree and modal showing.
// What its commands do (showing a file, delete, save as, close) is in
// tst_CompFormCommands.

#include <functional>
#include <memory>

#include <QApplication>
#include <QEnterEvent>
#include <QFileDialog>
#include <QFontMetrics>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QScreen>
#include <QScrollBar>
#include <QSplitter>
#include <QTest>
#include <QToolTip>

#include "ApplicationHints.h"
#include "CompUnit.h"
#include "FakePrompts.h"
#include "Fonts.h"
#include "ResultsTree.h"
#include "TestSupport.h"
#include "ToolPictures.h"
#include "Widgets.h"

using orvelle::test::Find;
using orvelle::test::RunModal;

namespace {

const QString kShortPath = QStringLiteral("/img/a.jpg");
const QString kLongPath = QStringLiteral("/画像/とても長いフォルダの名前/") + QString(60, u'x') +
                          QStringLiteral("/最後のファイル.jpg");

// "00000001[a,b] 00000002[c]", an expanded root marked with "+".
QString Dump(const QTreeWidget& tree)
{
    QStringList roots;
    for (int r = 0; r < tree.topLevelItemCount(); ++r) {
        const QTreeWidgetItem* root = tree.topLevelItem(r);
        QStringList children;
        for (int c = 0; c < root->childCount(); ++c)
            children << root->child(c)->text(0);
        const QString mark = root->isExpanded() ? QStringLiteral("+") : QString();
        roots << root->text(0) + mark + u'[' + children.join(u',') + u']';
    }
    return roots.join(u' ');
}

} // namespace

class TestCompForm : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { orvelle::RegisterFontSubstitutes(); }
    void init();
    void cleanup();

    void window();
    void layout();
    void treeKeepsItsWidth();
    void memo();
    void paintBox();
    void statusBarStaysEmpty();
    void noTooltipsButCutOffNodes_data();
    void noTooltipsButCutOffNodes();
    void treeIsReadOnly();
    void popupMenu();
    void buildResultsTree_data();
    void buildResultsTree();
    void shownModallyUntilClosed();

private:
    void ShowAndExpose()
    {
        form_->show();
        QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
    }
    // One group with a short and a long path, expanded.
    QTreeWidgetItem* FillOneGroup()
    {
        orvelle::BuildResultsTree(*form_->TreeView1(), {QStringLiteral("00000001") + kShortPath,
                                                        QStringLiteral("00000001") + kLongPath});
        QTreeWidgetItem* root = form_->TreeView1()->topLevelItem(0);
        root->setExpanded(true);
        return root;
    }

    orvelle::test::FakePrompts prompts_;
    std::unique_ptr<QWidget> owner_;
    std::unique_ptr<TCompForm> form_;
};

void TestCompForm::init()
{
    prompts_ = {};
    owner_ = std::make_unique<QWidget>();
    form_ = std::make_unique<TCompForm>(prompts_, owner_.get());
    // A tooltip fades out a moment after it was told to go.
    QTRY_VERIFY(!QToolTip::isVisible());
}

void TestCompForm::cleanup()
{
    QToolTip::hideText();
    form_.reset();
    owner_.reset();
    QCOMPARE(prompts_.shown.size(), 0);
}

void TestCompForm::window()
{
    QCOMPARE(form_->windowTitle(), QStringLiteral("一致した画像一覧"));
    QCOMPARE(form_->size(), QSize(800, 600));
    QVERIFY(form_->minimumSize().width() < 800 && form_->minimumSize().height() < 600);
    QVERIFY(form_->maximumSize().width() > 800 && form_->maximumSize().height() > 600);
    QVERIFY(form_->windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
    QCOMPARE(form_->parentWidget(), owner_.get());
    QCOMPARE(form_->windowIcon().pixmap(32).toImage(), orvelle::ProgramIcon().pixmap(32).toImage());
    for (QWidget* control :
         {static_cast<QWidget*>(form_->TreeView1()), static_cast<QWidget*>(form_->StatusBar1())}) {
        QCOMPARE(control->font().family(), QStringLiteral("ＭＳ Ｐゴシック"));
        QCOMPARE(control->font().pixelSize(), 12);
    }
    auto* save = Find<QFileDialog>(form_.get(), "SaveDialog1");
    QCOMPARE(save->acceptMode(), QFileDialog::AcceptSave);
    QVERIFY(!save->isVisible());
}

void TestCompForm::layout()
{
    ShowAndExpose();
    auto* splitter = Find<QSplitter>(form_.get(), "Splitter1");
    QCOMPARE(splitter->geometry(), QRect(0, 0, 800, 581));
    QCOMPARE(form_->TreeView1()->geometry(), QRect(0, 0, 398, 581));
    QCOMPARE(splitter->handle(1)->geometry(), QRect(398, 0, 4, 581));
    QCOMPARE(splitter->handle(1)->cursor().shape(), Qt::SplitHCursor);
    auto* panel = Find<QFrame>(form_.get(), "Panel1");
    QCOMPARE(panel->geometry(), QRect(402, 0, 398, 581));
    QCOMPARE(panel->frameShape(), QFrame::NoFrame);
    QCOMPARE(form_->Memo1()->parentWidget(), panel);
    QCOMPARE(form_->Memo1()->geometry(), QRect(0, 0, 398, 95));
    QCOMPARE(form_->ScrollBox1()->parentWidget(), panel);
    QCOMPARE(form_->ScrollBox1()->geometry(), QRect(0, 95, 398, 486));
    QCOMPARE(form_->StatusBar1()->geometry(), QRect(0, 581, 800, 19));
}

void TestCompForm::treeKeepsItsWidth()
{
    ShowAndExpose();
    form_->resize(1000, 700);
    QTRY_COMPARE(Find<QFrame>(form_.get(), "Panel1")->width(), 598);
    QCOMPARE(form_->TreeView1()->size(), QSize(398, 681));
    QCOMPARE(form_->StatusBar1()->geometry(), QRect(0, 681, 1000, 19));

    // Dragging the handle 100 pixels to the left narrows the tree.
    QWidget* handle = Find<QSplitter>(form_.get(), "Splitter1")->handle(1);
    const QPoint grip(2, 300);
    QTest::mousePress(handle, Qt::LeftButton, {}, grip);
    QTest::mouseMove(handle, grip - QPoint(100, 0));
    QTest::mouseRelease(handle, Qt::LeftButton, {}, grip - QPoint(100, 0));
    QCOMPARE(form_->TreeView1()->width(), 298);
    QCOMPARE(Find<QFrame>(form_.get(), "Panel1")->width(), 698);
}

void TestCompForm::memo()
{
    QPlainTextEdit* memo = form_->Memo1();
    const QStringList labels{"ﾌｧｲﾙ名：", "サイズ：", "日　時：", "画像幅：", "画像高："};
    QCOMPARE(memo->toPlainText().split(u'\n'), labels);
    QCOMPARE(labels[2][1], QChar(0x3000));
    QVERIFY(memo->isReadOnly());
    QCOMPARE(memo->frameShape(), QFrame::NoFrame);
    QCOMPARE(memo->font().family(), QStringLiteral("ＭＳ ゴシック"));
    QCOMPARE(memo->font().pixelSize(), 13);
    // The face actually drawn is fixed-pitch, so every label, half-width
    // katakana or full-width, ends in the same column.
    const QFontMetrics metrics(memo->font());
    for (const QString& label : labels)
        QCOMPARE(metrics.horizontalAdvance(label), metrics.horizontalAdvance(labels[0]));

    // A long line is not wrapped: it stays one line and the memo scrolls.
    ShowAndExpose();
    memo->appendPlainText(QStringLiteral("ﾌｧｲﾙ名：") + kLongPath + kLongPath);
    QTRY_VERIFY(memo->horizontalScrollBar()->isVisible());
    QVERIFY(memo->horizontalScrollBar()->maximum() > 0);
    QCOMPARE(memo->document()->lineCount(), 6);
}

void TestCompForm::paintBox()
{
    QWidget* box = form_->PaintBox1();
    QCOMPARE(box->objectName(), QStringLiteral("PaintBox1"));
    QCOMPARE(form_->ScrollBox1()->widget(), box);
    QVERIFY(!form_->ScrollBox1()->widgetResizable());
    ShowAndExpose();
    // Not stretched to the scroll box: it keeps its own place and size.
    QCOMPARE(box->geometry(), QRect(0, 0, 105, 105));
    QCOMPARE(box->statusTip(), QStringLiteral("ダブルクリックで表示状態変更"));
}

void TestCompForm::statusBarStaysEmpty()
{
    const orvelle::ApplicationHints hints;
    ShowAndExpose();
    QWidget* box = form_->PaintBox1();
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), box->mapToGlobal(QPointF(5, 5)));
    QApplication::sendEvent(box, &enter);
    // The hint goes to the application's hint line, not to this status bar.
    QCOMPARE(hints.Hint(), QStringLiteral("ダブルクリックで表示状態変更"));
    QVERIFY(form_->StatusBar1()->currentMessage().isEmpty());
    QVERIFY(form_->StatusBar1()->findChildren<QLabel*>().isEmpty());
}

void TestCompForm::noTooltipsButCutOffNodes_data()
{
    QTest::addColumn<QString>("node"); // empty: below the nodes
    QTest::addColumn<bool>("scrolledRight");
    QTest::addColumn<bool>("tip");

    QTest::newRow("short path") << kShortPath << false << false;
    QTest::newRow("path cut off on the right") << kLongPath << false << true;
    QTest::newRow("group node") << "00000001" << false << false;
    QTest::newRow("below the nodes") << "" << false << false;
    QTest::newRow("short path scrolled out on the left") << kShortPath << true << true;
}

void TestCompForm::noTooltipsButCutOffNodes()
{
    QFETCH(QString, node);
    QFETCH(bool, scrolledRight);
    QFETCH(bool, tip);

    for (const QWidget* control : form_->findChildren<QWidget*>()) {
        if (control->window() == form_.get()) // not the save dialog's
            QVERIFY2(control->toolTip().isEmpty(), qPrintable(control->objectName()));
    }

    QTreeWidget* tree = form_->TreeView1();
    QTreeWidgetItem* root = FillOneGroup();
    ShowAndExpose();
    QVERIFY(tree->horizontalScrollBar()->maximum() > 0); // the long path is not shortened
    if (scrolledRight)
        tree->horizontalScrollBar()->setValue(tree->horizontalScrollBar()->maximum());

    // Resting on any other control shows nothing.
    QWidget* box = form_->PaintBox1();
    QHelpEvent elsewhere(QEvent::ToolTip, QPoint(5, 5), box->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(box, &elsewhere);
    QVERIFY(!QToolTip::isVisible());

    QPoint at(10, tree->viewport()->height() - 5);
    if (!node.isEmpty()) {
        QTreeWidgetItem* item = root;
        for (int c = 0; c < root->childCount(); ++c)
            if (root->child(c)->text(0) == node)
                item = root->child(c);
        const QRect place = tree->visualItemRect(item);
        at = QPoint(qBound(0, place.left() + 20, tree->viewport()->width() - 10),
                    place.center().y());
    }
    QHelpEvent help(QEvent::ToolTip, at, tree->viewport()->mapToGlobal(at));
    QApplication::sendEvent(tree->viewport(), &help);
    QCOMPARE(QToolTip::isVisible(), tip);
    if (tip)
        QCOMPARE(QToolTip::text(), node);
}

void TestCompForm::treeIsReadOnly()
{
    QTreeWidget* tree = form_->TreeView1();
    QCOMPARE(tree->editTriggers(), QAbstractItemView::NoEditTriggers);
    QTreeWidgetItem* file = FillOneGroup()->child(0);
    ShowAndExpose();
    tree->setFocus();
    tree->setCurrentItem(file);
    QTest::keyClick(tree, Qt::Key_F2);
    const QPoint at = tree->visualItemRect(file).center();
    QTest::mouseDClick(tree->viewport(), Qt::LeftButton, {}, at);
    QTest::keyClicks(tree, QStringLiteral("zz"));
    QTest::keyClick(tree, Qt::Key_Return);
    QVERIFY(tree->findChildren<QLineEdit*>().isEmpty());
    QCOMPARE(file->text(0), kShortPath);
}

void TestCompForm::popupMenu()
{
    QMenu* menu = form_->PopupMenu1();
    QCOMPARE(menu->objectName(), QStringLiteral("PopupMenu1"));
    QStringList items;
    for (const QAction* action : menu->actions())
        items << action->objectName() + u'=' +
                     (action->isSeparator() ? QStringLiteral("-") : action->text());
    QCOMPARE(items, QStringList({"Delete1=削除(&D)", "SaveAs1=別名で保存(&A)...", "N1=-",
                                 "Close1=閉じる(&X)"}));
    QCOMPARE(menu->actions()[0]->statusTip(), QStringLiteral("選択している画像を削除"));

    // A right click opens it over the tree and leaves the selection alone.
    QTreeWidget* tree = form_->TreeView1();
    QTreeWidgetItem* root = FillOneGroup();
    ShowAndExpose();
    tree->setCurrentItem(root->child(0));
    // Through the window, as the window system delivers it, so the press
    // also brings the context-menu request.
    const QPoint at =
        tree->viewport()->mapTo(form_.get(), tree->visualItemRect(root->child(1)).center());
    QTest::mouseClick(form_->windowHandle(), Qt::RightButton, {}, at);
    QTRY_VERIFY(menu->isVisible());
    menu->close();
    QCOMPARE(tree->currentItem(), root->child(0));
    QCOMPARE(tree->selectedItems(), QList<QTreeWidgetItem*>{root->child(0)});
}

void TestCompForm::buildResultsTree_data()
{
    QTest::addColumn<QStringList>("records");
    QTest::addColumn<QString>("tree");

    QTest::newRow("two groups, children in record order")
        << QStringList{"00000001/x/b.jpg", "00000001/x/a.jpg", "00000001/x/c.jpg",
                       "00000002/y/d.bmp", "00000002/y/e.bmp"}
        << "00000001[/x/b.jpg,/x/a.jpg,/x/c.jpg] 00000002[/y/d.bmp,/y/e.bmp]";
    QTest::newRow("no records") << QStringList{} << "";
    // Only a change of key opens a root: a key that comes back makes a second
    // root with the same text.
    QTest::newRow("key repeats after another") << QStringList{"00000001a", "00000002b", "00000001c"}
                                               << "00000001[a] 00000002[b] 00000001[c]";
    QTest::newRow("starting key itself still opens a root")
        << QStringList{"0000000Ap", "0000000Aq"} << "0000000A[p,q]";
    QTest::newRow("texts kept exactly")
        << QStringList{"00000003", "00000003 spaced name ", "00000003C:\\日本語\\画像.jpg"}
        << "00000003[, spaced name ,C:\\日本語\\画像.jpg]";
}

void TestCompForm::buildResultsTree()
{
    QFETCH(QStringList, records);
    QFETCH(QString, tree);

    orvelle::BuildResultsTree(*form_->TreeView1(), records);
    QCOMPARE(Dump(*form_->TreeView1()), tree);

    // More records go after the roots already there, even under the same key.
    orvelle::BuildResultsTree(*form_->TreeView1(), {QStringLiteral("00000001z")});
    QCOMPARE(Dump(*form_->TreeView1()),
             (tree.isEmpty() ? QString() : tree + u' ') + QStringLiteral("00000001[z]"));
}

void TestCompForm::shownModallyUntilClosed()
{
    orvelle::BuildResultsTree(*form_->TreeView1(),
                              {"00000001/a.jpg", "00000001/b.jpg", "00000002/c.jpg"});
    QWidget* modal = nullptr;
    QRect frame, area;
    QString tree;
    bool openAfterEsc = false;
    const int result = RunModal<TCompForm>(*form_, [&](TCompForm& form) {
        modal = QApplication::activeModalWidget();
        frame = form.frameGeometry();
        area = form.screen()->availableGeometry();
        tree = Dump(*form.TreeView1());
        QTest::keyClick(form.TreeView1(), Qt::Key_Escape);
        openAfterEsc = form.isVisible();
        form.close(); // what the close box and Alt+F4 do
    });
    QCOMPARE(result, int(QDialog::Rejected));
    QCOMPARE(modal, form_.get());
    QCOMPARE(frame.topLeft(), orvelle::test::CentredOn(area, frame.size()));
    QCOMPARE(tree, QStringLiteral("00000001[/a.jpg,/b.jpg] 00000002[/c.jpg]")); // all collapsed
    QVERIFY(openAfterEsc);

    // Released the way the check run releases it.
    QPointer<TCompForm> released = form_.release();
    released->deleteLater();
    QTRY_VERIFY(released.isNull());
}

QTEST_MAIN(TestCompForm)
#include "tst_CompForm.moc"
