// TCompForm, the results window: what its commands do with the files it shows.
// Its controls and layout are in tst_CompForm.

#include <memory>

#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QImage>
#include <QLocale>
#include <QMenu>
#include <QScrollBar>
#include <QTest>

#include "ByteWriter.h"
#include "CompFormRules.h"
#include "CompUnit.h"
#include "FakePrompts.h"
#include "Fonts.h"
#include "Picture.h"
#include "ResultsTree.h"
#include "TestSupport.h"
#include "Widgets.h"

namespace {

using Kind = orvelle::test::FakePrompts::Kind;
using orvelle::test::Find;
using orvelle::test::PlainBmp24;
using orvelle::test::RunModal;

constexpr unsigned kRed = 0xFF0000;
constexpr unsigned kBlue = 0x0000FF;

void SetWriteTime(const QString& path, const QDateTime& local)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(file.setFileTime(local, QFileDevice::FileModificationTime));
}

// A two-colour bitmap stored top row first whose file holds only its first
// rows (a checkerboard of 1-pixel squares in red and blue); every row past
// the data reads as colour 0, blue. Drawn whole it would fill gigabytes.
QByteArray TopRowsOfHugeBitmap(int width, int height, int filledRows)
{
    using orvelle::test::PutU16;
    using orvelle::test::PutU32;
    const qsizetype stride = (qsizetype(width) + 31) / 32 * 4;
    QByteArray out;
    out.append("BM", 2);
    PutU32(out, 0); // the file size: left unset, as writers do
    PutU32(out, 0);
    PutU32(out, 14 + 40 + 8);
    PutU32(out, 40);
    PutU32(out, std::uint32_t(width));
    PutU32(out, std::uint32_t(-height));
    PutU16(out, 1);
    PutU16(out, 1);
    for (int i = 0; i < 6; ++i)
        PutU32(out, 0);
    PutU32(out, kBlue); // colour 0, as blue-green-red-reserved bytes
    PutU32(out, kRed);
    for (int y = 0; y < filledRows; ++y)
        out.append(QByteArray(stride, char(y % 2 ? 0xAA : 0x55)));
    return out;
}

QStringList MemoLines(const TCompForm& form)
{
    return form.Memo1()->toPlainText().split(u'\n');
}

const QStringList kBareMemo{"ﾌｧｲﾙ名：", "サイズ：", "日　時：", "画像幅：", "画像高："};

} // namespace

class TestCompFormCommands : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void clickShowsTheSelectedFile();
    void groupNodesAndKeyboardChangeNothing();
    void filesThatFailTheExistenceTest();
    void unloadableFileKeepsWhatWasShown();
    void doubleClicksBeforeAnyFile();
    void actualSizeAndFitPreview();
    void pictureLargerThanAnyImageShowsWhereTheWindowShowsIt();
    void deleteAnsweredBothWays();
    void deleteActsOnTheSelectedNodeNotTheClickedOne();
    void deleteOrSaveWithoutAFileDoesNothing();
    void failingDeleteKeepsTheNode();
    void saveAsOffersTheExtension_data();
    void saveAsOffersTheExtension();
    void saveAsCopiesAndReplaces();
    void saveAsFailures();
    void saveAsWritesInPlaceWhereItMust();
    void childlessGroupNamesNoFile();
    void filesChangingWhileTheWindowIsOpen();
    void filesChangingWhileAPromptIsUp();
    void closeEndsTheShowing();
    void screenshot();

private:
    // A group per list of file names in the sandbox, all expanded.
    void Fill(const QList<QStringList>& groups)
    {
        QStringList records;
        for (int g = 0; g < groups.size(); ++g)
            for (const QString& name : groups[g])
                records << QStringLiteral("%1").arg(g + 1, 8, 10, QChar(u'0')) +
                               (name.startsWith(u'/') ? name : box_->operator()(name));
        orvelle::BuildResultsTree(*form_->TreeView1(), records);
        form_->TreeView1()->expandAll();
        form_->show();
        QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
    }
    QTreeWidgetItem* Node(int group, int file = -1) const
    {
        QTreeWidgetItem* root = form_->TreeView1()->topLevelItem(group);
        return file < 0 ? root : root->child(file);
    }
    void Click(QTreeWidgetItem* node)
    {
        QTreeWidget* tree = form_->TreeView1();
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {},
                          tree->visualItemRect(node).center());
    }
    void DoubleClickPreview()
    {
        QWidget* preview = form_->PaintBox1();
        QTest::mouseDClick(preview, Qt::LeftButton, {}, QPoint(1, 1));
    }
    QAction* Action(const char* name) const
    {
        return Find<QAction>(form_.get(), name);
    }
    QFileDialog* SaveDialog() const { return Find<QFileDialog>(form_.get(), "SaveDialog1"); }

    orvelle::test::FakePrompts prompts_;
    std::unique_ptr<orvelle::test::Sandbox> box_;
    std::unique_ptr<TCompForm> form_;
};

void TestCompFormCommands::initTestCase()
{
    orvelle::RegisterFontSubstitutes();
    // The details follow the locale; this one groups with commas.
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
}

void TestCompFormCommands::init()
{
    prompts_ = {};
    box_ = std::make_unique<orvelle::test::Sandbox>();
    form_ = std::make_unique<TCompForm>(prompts_, nullptr);
}

void TestCompFormCommands::cleanup()
{
    form_.reset();
    box_.reset();
    QCOMPARE(prompts_.unexpected, 0);
}

void TestCompFormCommands::clickShowsTheSelectedFile()
{
    const QString a = box_->WriteFile("a.bmp", PlainBmp24(30, 20, kRed));
    box_->WriteFile("b.bmp", PlainBmp24(7, 9, kBlue));
    SetWriteTime(a, QDateTime(QDate(2021, 3, 4), QTime(12, 34, 57)));
    // The file's size is the BMP's: 54 header bytes and 20 rows of 92.
    QCOMPARE(QFileInfo(a).size(), 1894);
    Fill({{"a.bmp", "b.bmp"}});

    form_->Memo1()->horizontalScrollBar()->setValue(50);
    Click(Node(0, 0));
    QCOMPARE(MemoLines(*form_),
             QStringList({"ﾌｧｲﾙ名：" + a, "サイズ：1,894byte", "日　時：3/4/21 12:34:56 PM",
                          "画像幅：30", "画像高：20"}));
    QCOMPARE(form_->Memo1()->textCursor().position(), 0);
    QCOMPARE(form_->PaintBox1()->size(), QSize(30, 20));

    // Midnight shows the date alone.
    SetWriteTime(box_->operator()("b.bmp"), QDateTime(QDate(2020, 12, 31), QTime(0, 0, 1)));
    Click(Node(0, 1));
    QCOMPARE(MemoLines(*form_)[2], QStringLiteral("日　時：12/31/20"));
    QCOMPARE(MemoLines(*form_)[1], QStringLiteral("サイズ：270byte"));
    QCOMPARE(form_->PaintBox1()->size(), QSize(7, 9));
    QCOMPARE(prompts_.shown.size(), 0);
}

void TestCompFormCommands::groupNodesAndKeyboardChangeNothing()
{
    box_->WriteFile("a.bmp", PlainBmp24(3, 3, kRed));
    box_->WriteFile("b.bmp", PlainBmp24(5, 5, kRed));
    Fill({{"a.bmp", "b.bmp"}});
    Click(Node(0));
    QCOMPARE(MemoLines(*form_), kBareMemo);
    QCOMPARE(form_->PaintBox1()->size(), QSize(105, 105));

    Click(Node(0, 0));
    QCOMPARE(MemoLines(*form_)[3], QStringLiteral("画像幅：3"));
    // The arrow keys move the selection, the details wait for a click.
    QTest::keyClick(form_->TreeView1(), Qt::Key_Down);
    QCOMPARE(form_->TreeView1()->currentItem(), Node(0, 1));
    QCOMPARE(MemoLines(*form_)[3], QStringLiteral("画像幅：3"));
    QTest::keyClick(form_->TreeView1(), Qt::Key_Up);
    QTest::keyClick(form_->TreeView1(), Qt::Key_Up);
    QCOMPARE(form_->TreeView1()->currentItem(), Node(0));
    Click(Node(0));
    QCOMPARE(MemoLines(*form_)[3], QStringLiteral("画像幅：3"));
    QCOMPARE(form_->PaintBox1()->size(), QSize(3, 3));
    Click(Node(0, 1));
    QCOMPARE(MemoLines(*form_)[3], QStringLiteral("画像幅：5"));
    QCOMPARE(prompts_.shown.size(), 0);
}

void TestCompFormCommands::filesThatFailTheExistenceTest()
{
    const QString old = box_->WriteFile("old.bmp", PlainBmp24(3, 3, kRed));
    SetWriteTime(old, QDateTime(QDate(1979, 12, 31), QTime(23, 59, 58)));
    box_->WriteFile("gone.bmp", PlainBmp24(3, 3, kRed));
    box_->MakeDir("folder.bmp");
    Fill({{"old.bmp", "gone.bmp", "folder.bmp"}});
    QVERIFY(QFile::remove(box_->operator()("gone.bmp")));
    for (int file = 0; file < 3; ++file) {
        Click(Node(0, file));
        QCOMPARE(MemoLines(*form_), kBareMemo);
        prompts_.openAnswers.push_back({box_->operator()("copy.bmp")});
        Action("SaveAs1")->trigger();
        Action("Delete1")->trigger();
        prompts_.openAnswers.clear();
    }
    QCOMPARE(prompts_.shown.size(), 0);
    QCOMPARE(Node(0)->childCount(), 3);
    QVERIFY(QFileInfo::exists(old));
}

void TestCompFormCommands::unloadableFileKeepsWhatWasShown()
{
    box_->WriteFile("good.bmp", PlainBmp24(12, 8, kRed));
    box_->WriteFile("bad.bmp", "not a picture");
    box_->WriteFile("text.xyz", "no picture kind");
    Fill({{"good.bmp", "bad.bmp", "text.xyz"}});
    Click(Node(0, 0));
    const QStringList shown = MemoLines(*form_);
    for (int file : {1, 2}) {
        Click(Node(0, file));
        QCOMPARE(MemoLines(*form_), shown);
        QCOMPARE(form_->PaintBox1()->size(), QSize(12, 8));
        QCOMPARE(form_->Picture->Width(), 12);
    }
    QCOMPARE(prompts_.Texts(Kind::Error).size(), 2);
    // Still usable: the good file shows again.
    Click(Node(0, 0));
    QCOMPARE(MemoLines(*form_), shown);
    QCOMPARE(form_->PaintBox1()->grab().toImage().pixel(11, 7), QColor(Qt::red).rgb());
}

void TestCompFormCommands::doubleClicksBeforeAnyFile()
{
    Fill({{"none.bmp"}});
    QVERIFY(!form_->FitView);
    DoubleClickPreview();
    QVERIFY(form_->FitView);
    QTRY_COMPARE(form_->PaintBox1()->size(), form_->ScrollBox1()->viewport()->size());
    DoubleClickPreview();
    QVERIFY(!form_->FitView);
    QCOMPARE(form_->PaintBox1()->size(), QSize(0, 0));
}

void TestCompFormCommands::actualSizeAndFitPreview()
{
    box_->WriteFile("big.bmp", PlainBmp24(800, 600, kRed));
    Fill({{"big.bmp"}});
    Click(Node(0, 0));
    QWidget* preview = form_->PaintBox1();
    QScrollArea* scroll = form_->ScrollBox1();
    QCOMPARE(preview->size(), QSize(800, 600));
    QTRY_VERIFY(scroll->horizontalScrollBar()->maximum() > 0);
    QVERIFY(scroll->verticalScrollBar()->maximum() > 0);
    QCOMPARE(preview->grab().toImage().pixel(799, 599), QColor(Qt::red).rgb());

    DoubleClickPreview();
    QTRY_COMPARE(preview->size(), scroll->viewport()->size());
    QCOMPARE(scroll->horizontalScrollBar()->maximum(), 0);
    // The width limits: the height follows the width's factor.
    const int width = preview->width();
    QVERIFY(width * 600 / 800 < preview->height());
    const QImage fitted = preview->grab().toImage();
    const TRect place = orvelle::FitRect(800, 600, width, preview->height());
    QVERIFY(place.Right <= width && place.Right >= width - 1);
    QCOMPARE(fitted.pixel(place.Right - 1, place.Bottom - 1), QColor(Qt::red).rgb());
    QVERIFY(fitted.pixel(place.Right - 1, place.Bottom) != QColor(Qt::red).rgb());

    // The box follows the window, and every repaint fits the picture anew.
    form_->resize(700, 600);
    QTRY_COMPARE(preview->size(), scroll->viewport()->size());
    const QImage smaller = preview->grab().toImage();
    const TRect again = orvelle::FitRect(800, 600, preview->width(), preview->height());
    QCOMPARE(smaller.pixel(again.Right - 1, again.Bottom - 1), QColor(Qt::red).rgb());
    QVERIFY(smaller.pixel(again.Right - 1, again.Bottom) != QColor(Qt::red).rgb());

    // A click in fit mode keeps the box docked.
    Click(Node(0, 0));
    QCOMPARE(preview->size(), scroll->viewport()->size());

    DoubleClickPreview();
    QCOMPARE(preview->size(), QSize(800, 600));
    QVERIFY(!scroll->widgetResizable());
    QCOMPARE(prompts_.shown.size(), 0);
}

void TestCompFormCommands::pictureLargerThanAnyImageShowsWhereTheWindowShowsIt()
{
    constexpr int kSide = 60000;
    box_->WriteFile("huge.bmp", TopRowsOfHugeBitmap(kSide, kSide, 64));
    Fill({{"huge.bmp"}});
    Click(Node(0, 0));
    QWidget* preview = form_->PaintBox1();
    QScrollArea* scroll = form_->ScrollBox1();
    QCOMPARE(preview->size(), QSize(kSide, kSide));
    QCOMPARE(MemoLines(*form_).mid(3), (QStringList{"画像幅：60000", "画像高：60000"}));

    // The top left corner: the file's checkerboard, to the pixel.
    const auto shown = [scroll] { return scroll->viewport()->grab().toImage(); };
    QImage view = shown();
    QVERIFY(view.width() > 16 && view.height() > 16);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            QCOMPARE(view.pixel(x, y) & 0xFFFFFF, (x + y) % 2 ? kRed : kBlue);

    // Far into the picture, past the file's rows: colour 0 everywhere shown,
    // and the last row of the data where it meets them.
    scroll->horizontalScrollBar()->setValue(kSide / 2);
    scroll->verticalScrollBar()->setValue(60);
    view = shown();
    const int ahead = 64 - 60;
    for (int x = 0; x < 8; ++x) {
        QCOMPARE(view.pixel(x, ahead - 1) & 0xFFFFFF, (kSide / 2 + x + 63) % 2 ? kRed : kBlue);
        QCOMPARE(view.pixel(x, ahead) & 0xFFFFFF, kBlue);
    }
    scroll->verticalScrollBar()->setValue(scroll->verticalScrollBar()->maximum());
    view = shown();
    QCOMPARE(view.pixel(view.width() / 2, view.height() / 2) & 0xFFFFFF, kBlue);
    QCOMPARE(view.pixel(view.width() - 1, view.height() - 1) & 0xFFFFFF, kBlue);

    // Fitted, the whole picture shrinks into the box as always.
    DoubleClickPreview();
    QTRY_COMPARE(preview->size(), scroll->viewport()->size());
    const QImage fitted = preview->grab().toImage();
    const TRect place = orvelle::FitRect(kSide, kSide, preview->width(), preview->height());
    QCOMPARE(fitted.pixel(place.Right - 1, place.Bottom - 1) & 0xFFFFFF, kBlue);
    QCOMPARE(prompts_.shown.size(), 0);
}

void TestCompFormCommands::deleteAnsweredBothWays()
{
    const QString a = box_->WriteFile("a.bmp", PlainBmp24(4, 4, kRed));
    box_->WriteFile("b.bmp", PlainBmp24(4, 4, kRed));
    Fill({{"a.bmp", "b.bmp"}});
    Click(Node(0, 0));
    const QStringList shown = MemoLines(*form_);

    prompts_.confirmAnswers = {false};
    Action("Delete1")->trigger();
    QCOMPARE(prompts_.Texts(Kind::Confirm),
             QStringList{QStringLiteral("元に戻せません\n本当に削除しますか？")});
    QVERIFY(QFileInfo::exists(a));
    QCOMPARE(Node(0)->childCount(), 2);

    prompts_.confirmAnswers = {true};
    Action("Delete1")->trigger();
    QVERIFY(!QFileInfo::exists(a));
    QCOMPARE(Node(0)->childCount(), 1);
    QCOMPARE(Node(0, 0)->text(0), box_->operator()("b.bmp"));
    // The details still describe the deleted file.
    QCOMPARE(MemoLines(*form_), shown);

    // The last file of a group leaves the group behind, childless.
    form_->TreeView1()->setCurrentItem(Node(0, 0));
    prompts_.confirmAnswers = {true};
    Action("Delete1")->trigger();
    QCOMPARE(form_->TreeView1()->topLevelItemCount(), 1);
    QCOMPARE(Node(0)->childCount(), 0);
    QCOMPARE(prompts_.Texts(Kind::Error).size(), 0);
}

void TestCompFormCommands::deleteActsOnTheSelectedNodeNotTheClickedOne()
{
    const QString a = box_->WriteFile("a.bmp", PlainBmp24(4, 4, kRed));
    const QString b = box_->WriteFile("b.bmp", PlainBmp24(4, 4, kRed));
    Fill({{"a.bmp", "b.bmp"}});
    Click(Node(0, 0));
    QTreeWidget* tree = form_->TreeView1();
    const QPoint at =
        tree->viewport()->mapTo(form_.get(), tree->visualItemRect(Node(0, 1)).center());
    QTest::mouseClick(form_->windowHandle(), Qt::RightButton, {}, at);
    QTRY_VERIFY(form_->PopupMenu1()->isVisible());
    form_->PopupMenu1()->close();
    prompts_.confirmAnswers = {true};
    Action("Delete1")->trigger();
    QVERIFY(!QFileInfo::exists(a));
    QVERIFY(QFileInfo::exists(b));
    QCOMPARE(Node(0)->childCount(), 1);
    QCOMPARE(Node(0, 0)->text(0), b);
}

void TestCompFormCommands::deleteOrSaveWithoutAFileDoesNothing()
{
    box_->WriteFile("a.bmp", PlainBmp24(4, 4, kRed));
    Fill({{"a.bmp"}});
    // Nothing selected, then the group node.
    for (QTreeWidgetItem* node : {static_cast<QTreeWidgetItem*>(nullptr), Node(0)}) {
        form_->TreeView1()->setCurrentItem(node);
        Action("Delete1")->trigger();
        Action("SaveAs1")->trigger();
    }
    QCOMPARE(prompts_.shown.size(), 0);
    QCOMPARE(Node(0)->childCount(), 1);
}

void TestCompFormCommands::failingDeleteKeepsTheNode()
{
    // A file no one may delete, not even with every right.
    const QString fixed = QStringLiteral("/proc/version");
    QVERIFY(QFileInfo::exists(fixed));
    Fill({{fixed}});
    form_->TreeView1()->setCurrentItem(Node(0, 0));
    prompts_.confirmAnswers = {true};
    Action("Delete1")->trigger();
    QCOMPARE(prompts_.Texts(Kind::Error),
             QStringList{QStringLiteral("ファイル /proc/version を削除できません")});
    QCOMPARE(Node(0)->childCount(), 1);
    QVERIFY(QFileInfo::exists(fixed));
}

void TestCompFormCommands::saveAsOffersTheExtension_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QString>("suffix");

    QTest::newRow("jpeg") << "photo.jpeg"
                          << "画像ファイル (*.jpeg)"
                          << "jpeg";
    QTest::newRow("last dot counts") << "a.b.BMP"
                                     << "画像ファイル (*.BMP)"
                                     << "BMP";
    QTest::newRow("no dot") << "plain"
                            << "画像ファイル (*)"
                            << "";
    QTest::newRow("dot only in a folder") << "dir.v2/plain"
                                          << "画像ファイル (*)"
                                          << "";
}

void TestCompFormCommands::saveAsOffersTheExtension()
{
    QFETCH(QString, name);
    QFETCH(QString, filter);
    QFETCH(QString, suffix);

    box_->WriteFile(name, "bytes");
    Fill({{name}});
    form_->TreeView1()->setCurrentItem(Node(0, 0));
    prompts_.openAnswers.push_back({});
    Action("SaveAs1")->trigger();
    QCOMPARE(prompts_.lastNameFilters, QStringList{filter});
    QCOMPARE(SaveDialog()->defaultSuffix(), suffix);
    QCOMPARE(SaveDialog()->acceptMode(), QFileDialog::AcceptSave);
    QCOMPARE(prompts_.shown.size(), 1); // the dialog, cancelled
}

void TestCompFormCommands::saveAsCopiesAndReplaces()
{
    const QByteArray bytes = PlainBmp24(6, 5, kBlue);
    const QString source = box_->WriteFile("a.bmp", bytes);
    Fill({{"a.bmp"}});
    form_->TreeView1()->setCurrentItem(Node(0, 0));

    const QString fresh = box_->operator()("copy.bmp");
    prompts_.openAnswers.push_back({fresh});
    Action("SaveAs1")->trigger();
    QCOMPARE(box_->ReadFile("copy.bmp"), bytes);

    // The name is offered again. Another file of the chosen name is
    // replaced only when the user agrees.
    const QString existing = box_->WriteFile("old.bmp", QByteArray(5000, 'o'));
    prompts_.openAnswers.push_back({existing});
    prompts_.confirmAnswers.push_back(false);
    Action("SaveAs1")->trigger();
    QCOMPARE(prompts_.lastInitialFile, fresh);
    QCOMPARE(prompts_.Texts(Kind::Confirm),
             QStringList{QStringLiteral("%1 は既にあります\n上書きしますか？").arg(existing)});
    QCOMPARE(box_->ReadFile("old.bmp"), QByteArray(5000, 'o'));
    prompts_.openAnswers.push_back({existing});
    prompts_.confirmAnswers.push_back(true);
    Action("SaveAs1")->trigger();
    QCOMPARE(box_->ReadFile("old.bmp"), bytes);

    // The picture saved over itself is not asked about.
    prompts_.openAnswers.push_back({source});
    Action("SaveAs1")->trigger();
    QCOMPARE(box_->ReadFile("a.bmp"), bytes);
    QCOMPARE(Node(0)->childCount(), 1);
    QCOMPARE(prompts_.Texts(Kind::Confirm).size(), 2);
    QCOMPARE(prompts_.Texts(Kind::Error).size(), 0);
    // No temporary file is left beside the targets.
    QCOMPARE(QDir(box_->Path()).entryList(QDir::Files),
             QStringList({"a.bmp", "copy.bmp", "old.bmp"}));
}

void TestCompFormCommands::saveAsFailures()
{
    const QString source = box_->WriteFile("a.bmp", "abc");
    Fill({{"a.bmp"}});
    form_->TreeView1()->setCurrentItem(Node(0, 0));

    const QString nowhere = box_->operator()("missing/copy.bmp");
    prompts_.openAnswers.push_back({nowhere});
    Action("SaveAs1")->trigger();
    QCOMPARE(prompts_.Texts(Kind::Error),
             QStringList{QStringLiteral("ファイル %1 を作成できません").arg(nowhere)});

    // A folder of that name cannot be replaced by the copy.
    const QString folder = box_->MakeDir("taken.bmp");
    prompts_.openAnswers.push_back({folder});
    Action("SaveAs1")->trigger();
    QCOMPARE(prompts_.Texts(Kind::Error).size(), 2);
    QVERIFY(QFileInfo(folder).isDir());
    QCOMPARE(QDir(box_->Path()).entryList(QDir::Files), QStringList{"a.bmp"});

    QFile::setPermissions(source, QFileDevice::Permissions{});
    if (QFile(source).open(QIODevice::ReadOnly))
        QSKIP("running with rights that ignore permissions");
    prompts_.openAnswers.push_back({box_->operator()("copy.bmp")});
    Action("SaveAs1")->trigger();
    QCOMPARE(prompts_.Texts(Kind::Error).last(),
             QStringLiteral("ファイル %1 は開けません").arg(source));
}

void TestCompFormCommands::saveAsWritesInPlaceWhereItMust()
{
    const QByteArray bytes = PlainBmp24(6, 5, kBlue);
    box_->WriteFile("a.bmp", bytes);
    Fill({{"a.bmp"}});
    form_->TreeView1()->setCurrentItem(Node(0, 0));

    // A target with a second name: both names see the copy.
    const QString target = box_->WriteFile("linked.bmp", "old");
    const QString other = box_->operator()("other-name.bmp");
    QCOMPARE(::link(QFile::encodeName(target).constData(), QFile::encodeName(other).constData()),
             0);
    prompts_.openAnswers.push_back({target});
    prompts_.confirmAnswers.push_back(true);
    Action("SaveAs1")->trigger();
    QCOMPARE(box_->ReadFile("linked.bmp"), bytes);
    QCOMPARE(box_->ReadFile("other-name.bmp"), bytes);

    // A folder that takes no new file, holding a file that may be written.
    const QString folder = box_->MakeDir("fixed");
    const QString inside = box_->WriteFile("fixed/copy.bmp", "old");
    QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    const bool rightsIgnored = QFile(folder + QStringLiteral("/new")).open(QIODevice::WriteOnly);
    if (!rightsIgnored) {
        prompts_.openAnswers.push_back({inside});
        prompts_.confirmAnswers.push_back(true);
        Action("SaveAs1")->trigger();
    }
    QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                      QFileDevice::ExeOwner);
    if (rightsIgnored)
        QSKIP("running with rights that ignore permissions");
    QCOMPARE(box_->ReadFile("fixed/copy.bmp"), bytes);
    QCOMPARE(prompts_.Texts(Kind::Error).size(), 0);
}

void TestCompFormCommands::childlessGroupNamesNoFile()
{
    // The group's one file deleted leaves its number without children; a
    // file of that name in the current folder is not what it stands for.
    box_->WriteFile("a.bmp", PlainBmp24(4, 4, kRed));
    const QString decoy = box_->WriteFile("00000001", PlainBmp24(4, 4, kBlue));
    Fill({{"a.bmp"}});
    form_->TreeView1()->setCurrentItem(Node(0, 0));
    prompts_.confirmAnswers = {true};
    Action("Delete1")->trigger();
    QCOMPARE(Node(0)->childCount(), 0);
    QCOMPARE(Node(0)->text(0), QStringLiteral("00000001"));

    const QString before = QDir::currentPath();
    QDir::setCurrent(box_->Path());
    form_->TreeView1()->setCurrentItem(Node(0));
    Click(Node(0));
    Action("Delete1")->trigger();
    Action("SaveAs1")->trigger();
    QDir::setCurrent(before);
    QCOMPARE(prompts_.shown.size(), 1); // the first deletion's question
    QVERIFY(QFileInfo::exists(decoy));
}

void TestCompFormCommands::filesChangingWhileTheWindowIsOpen()
{
    const QString a = box_->WriteFile("a.bmp", PlainBmp24(12, 8, kRed));
    const QString kept = box_->WriteFile("kept.bmp", PlainBmp24(5, 5, kBlue));
    box_->WriteFile("b.bmp", PlainBmp24(12, 8, kRed));
    Fill({{"a.bmp", "b.bmp"}});

    // The shown picture is the one loaded: removing the file does not take it
    // from the preview.
    Click(Node(0, 0));
    QVERIFY(QFile::remove(a));
    form_->PaintBox1()->repaint();
    QCOMPARE(form_->PaintBox1()->grab().toImage().pixel(11, 7), QColor(Qt::red).rgb());

    // Another picture under the same name: the next click shows what is there now.
    box_->WriteFile("a.bmp", PlainBmp24(30, 20, kBlue));
    Click(Node(0, 1));
    Click(Node(0, 0));
    QCOMPARE(MemoLines(*form_).at(3), QStringLiteral("画像幅：30"));
    QCOMPARE(form_->PaintBox1()->size(), QSize(30, 20));

    // Cut short by another program: an error, and the last good picture stays.
    QFile cut(a);
    QVERIFY(cut.open(QIODevice::WriteOnly));
    cut.write(PlainBmp24(30, 20, kBlue).left(30));
    cut.close();
    Click(Node(0, 1));
    Click(Node(0, 0));
    QCOMPARE(prompts_.Texts(Kind::Error).size(), 1);
    QCOMPARE(form_->Picture->Width(), 12);

    // Made a link to another file: deleting takes the link, never its target.
    QVERIFY(QFile::remove(a));
    QVERIFY(QFile::link(kept, a));
    form_->TreeView1()->setCurrentItem(Node(0, 0));
    prompts_.confirmAnswers = {true};
    Action("Delete1")->trigger();
    QVERIFY(!QFileInfo(a).isSymLink());
    QCOMPARE(box_->ReadFile("kept.bmp"), PlainBmp24(5, 5, kBlue));
    QCOMPARE(Node(0)->childCount(), 1);
}

void TestCompFormCommands::filesChangingWhileAPromptIsUp()
{
    const QString a = box_->WriteFile("a.bmp", PlainBmp24(4, 4, kRed));
    const QString b = box_->WriteFile("b.bmp", PlainBmp24(4, 4, kRed));
    Fill({{"a.bmp", "b.bmp"}});

    // Gone while the question is read: the answer finds nothing to delete,
    // and the node goes with the file.
    form_->TreeView1()->setCurrentItem(Node(0, 0));
    prompts_.meanwhile = [&] { QFile::remove(a); };
    prompts_.confirmAnswers = {true};
    Action("Delete1")->trigger();
    QCOMPARE(Node(0)->childCount(), 1);
    QCOMPARE(prompts_.Texts(Kind::Error).size(), 0);

    // Turned into a folder while the question is read: nothing is deleted,
    // and the user is told.
    form_->TreeView1()->setCurrentItem(Node(0, 0));
    prompts_.meanwhile = [&] {
        QFile::remove(b);
        QDir().mkdir(b);
    };
    prompts_.confirmAnswers = {true};
    Action("Delete1")->trigger();
    QCOMPARE(prompts_.Texts(Kind::Error),
             QStringList{QStringLiteral("ファイル %1 を削除できません").arg(b)});
    QVERIFY(QFileInfo(b).isDir());
    QCOMPARE(Node(0)->childCount(), 1);

    // The source of a copy gone while the name is chosen: the copy is not
    // made, not even empty.
    QVERIFY(QDir().rmdir(b));
    box_->WriteFile("b.bmp", PlainBmp24(4, 4, kRed));
    const QString copy = box_->operator()("copy.bmp");
    prompts_.meanwhile = [&] { QFile::remove(b); };
    prompts_.openAnswers.push_back({copy});
    Action("SaveAs1")->trigger();
    QCOMPARE(prompts_.Texts(Kind::Error).last(), QStringLiteral("ファイル %1 は開けません").arg(b));
    QVERIFY(!QFileInfo::exists(copy));
}

void TestCompFormCommands::closeEndsTheShowing()
{
    Fill({{"a.bmp"}});
    QCOMPARE(RunModal<TCompForm>(*form_, [this](TCompForm&) { Action("Close1")->trigger(); }),
             int(QDialog::Rejected));
    QVERIFY(!form_->isVisible());
}

void TestCompFormCommands::screenshot()
{
    // For looking at by eye: ORVELLE_SCREENSHOT=/some/file.png
    const QString target = qEnvironmentVariable("ORVELLE_SCREENSHOT");
    if (target.isEmpty())
        QSKIP("no ORVELLE_SCREENSHOT");
    // ORVELLE_SCREENSHOT_PICTURE=/some/picture shows that file instead of a gradient.
    const QString picture = qEnvironmentVariable("ORVELLE_SCREENSHOT_PICTURE");
    if (picture.isEmpty()) {
        const QByteArray gradient = orvelle::test::Bmp24(900, 640, [](int x, int y) {
            return unsigned((x * 255 / 900) << 16 | (y * 255 / 640) << 8 | 0x40);
        });
        box_->WriteFile("photos/sunset.bmp", gradient);
        box_->WriteFile("photos/copy of sunset.bmp", gradient);
        Fill({{"photos/sunset.bmp", "photos/copy of sunset.bmp"}});
    } else {
        QFile file(picture);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        const QString name = QFileInfo(picture).fileName();
        box_->WriteFile("photos/" + name, bytes);
        box_->WriteFile("photos/copy of " + name, bytes);
        Fill({{"photos/" + name, "photos/copy of " + name}});
    }
    Click(Node(0, 1));
    // ORVELLE_SCREENSHOT_ACTUAL_SIZE=1 keeps the picture at its own size.
    if (qEnvironmentVariableIsEmpty("ORVELLE_SCREENSHOT_ACTUAL_SIZE"))
        DoubleClickPreview();
    QTest::qWait(50);
    QVERIFY(form_->grab().save(target));
}

QTEST_MAIN(TestCompFormCommands)
#include "tst_CompFormCommands.moc"
