#include <functional>
#include <map>
#include <memory>

#include <QApplication>
#include <QColor>
#include <QDesktopServices>
#include <QFrame>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QUrl>

#include "AboutBoxUnit.h"
#include "FakePrompts.h"
#include "Fonts.h"
#include "Widgets.h"

using orvelle::test::Find;
using orvelle::test::RunModal;

// Stands in for the browser: records what the box asked to open.
class UrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void Open(const QUrl& url) { opened << url; }
};

class TestAboutBox : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void window();
    void labels_data();
    void labels();
    void programIconCoversTheNamesLeftEnd();
    void closing_data();
    void closing();
    void escapeLeavesItOpen();
    void linkOpensHomePageAndCloses();
    void eachOpeningIsAFreshBox();

private:
    using Act = std::function<void(TAboutBox&)>;
    // Opens a box as the main window does: owned by the window, shown
    // modally, released afterwards. Returns the exec() result.
    int Open(const Act& act, QPointer<TAboutBox>* opened = nullptr);

    orvelle::test::FakePrompts prompts_;
    UrlCatcher browser_;
    std::unique_ptr<QWidget> mainWindow_;
    std::unique_ptr<TAboutBox> box_;
    bool leftOpen_ = false;
};

void TestAboutBox::initTestCase()
{
    orvelle::RegisterFontSubstitutes();
    // No real browser may start from a test.
    QDesktopServices::setUrlHandler(QStringLiteral("https"), &browser_, "Open");
    QDesktopServices::setUrlHandler(QStringLiteral("http"), &browser_, "Open");
}

void TestAboutBox::cleanupTestCase()
{
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
    QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
}

void TestAboutBox::init()
{
    prompts_ = {};
    browser_.opened.clear();
    leftOpen_ = false;
    mainWindow_ = std::make_unique<QWidget>();
    box_ = std::make_unique<TAboutBox>(prompts_);
}

void TestAboutBox::cleanup()
{
    box_.reset();
    mainWindow_.reset();
    QCOMPARE(prompts_.shown.size(), 0);
}

int TestAboutBox::Open(const Act& act, QPointer<TAboutBox>* opened)
{
    QPointer<TAboutBox> box = new TAboutBox(prompts_, mainWindow_.get());
    if (opened)
        *opened = box;
    const int result = RunModal<TAboutBox>(*box, act, &leftOpen_);
    box->deleteLater();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return result;
}

void TestAboutBox::window()
{
    QCOMPARE(box_->windowTitle(), QStringLiteral("バージョン情報"));
    QCOMPARE(box_->size(), QSize(390, 105));
    QCOMPARE(box_->minimumSize(), box_->maximumSize());
    QCOMPARE(box_->font().family(), QStringLiteral("ＭＳ Ｐゴシック"));
    QCOMPARE(box_->font().pixelSize(), 12);

    auto* panel = box_->findChild<QFrame*>(QStringLiteral("Panel1"));
    QVERIFY(panel);
    QCOMPARE(panel->geometry(), QRect(5, 5, 300, 95));
    QCOMPARE(panel->contentsRect().width(), 296);
    auto* ok = box_->findChild<QPushButton*>(QStringLiteral("OKButton"));
    QVERIFY(ok);
    QCOMPARE(ok->geometry(), QRect(310, 10, 75, 25));
    QCOMPARE(ok->text(), QStringLiteral("OK"));
    QVERIFY(ok->isDefault());

    // Centred on the screen wherever the main window stands.
    mainWindow_->setGeometry(10, 10, 200, 150);
    mainWindow_->show();
    QRect frame, area;
    Open([&](TAboutBox& box) {
        frame = box.frameGeometry();
        area = box.screen()->availableGeometry();
        box.accept();
    });
    QCOMPARE(frame.topLeft(), orvelle::test::CentredOn(area, frame.size()));
}

void TestAboutBox::labels_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("family");
    QTest::addColumn<int>("pixelSize");
    QTest::addColumn<bool>("bold");
    QTest::addColumn<QColor>("colour");
    QTest::addColumn<int>("horizontal");

    const QString gothic = QStringLiteral("ＭＳ Ｐゴシック");
    QTest::newRow("ProductName") << "ProductName" << QRect(2, 2, 296, 35) << "Orvelle"
                                 << "ＭＳ 明朝" << 24 << true << QColor(0, 0, 0x80)
                                 << int(Qt::AlignHCenter);
    QTest::newRow("Version") << "Version" << QRect(2, 37, 296, 16) << "version 0.0.1" << gothic
                             << 16 << true << QColor(0x80, 0, 0) << int(Qt::AlignRight);
    QTest::newRow("RightsLabel") << "RightsLabel" << QRect(2, 53, 296, 20)
                                 << "© 2026 The Orvelle developers" << gothic << 15 << true
                                 << QColor(0, 0x80, 0) << int(Qt::AlignHCenter);
    QTest::newRow("Comments") << "Comments" << QRect(2, 73, 296, 12) << TAboutBox::HomePage()
                              << gothic << 12 << false << QColor(0, 0, 0xFF)
                              << int(Qt::AlignHCenter);
}

void TestAboutBox::labels()
{
    QFETCH(QString, name);
    QFETCH(QRect, geometry);
    QFETCH(QString, text);
    QFETCH(QString, family);
    QFETCH(int, pixelSize);
    QFETCH(bool, bold);
    QFETCH(QColor, colour);
    QFETCH(int, horizontal);

    auto* label = box_->findChild<QLabel*>(name);
    QVERIFY(label);
    QCOMPARE(label->parentWidget()->objectName(), QStringLiteral("Panel1"));
    QCOMPARE(label->geometry(), geometry);
    QCOMPARE(label->text(), text);
    QCOMPARE(label->font().family(), family);
    QCOMPARE(label->font().pixelSize(), pixelSize);
    QCOMPARE(label->font().bold(), bold);
    QCOMPARE(label->palette().color(QPalette::WindowText), colour);
    QCOMPARE(int(label->alignment() & Qt::AlignHorizontal_Mask), horizontal);
}

void TestAboutBox::programIconCoversTheNamesLeftEnd()
{
    auto* icon = Find<QLabel>(box_.get(), "ProgramIcon");
    auto* name = box_->findChild<QLabel*>(QStringLiteral("ProductName"));
    QVERIFY(icon && name);
    QCOMPARE(icon->geometry(), QRect(3, 3, 32, 32));
    QVERIFY(icon->hasScaledContents());
    QCOMPARE(icon->pixmap().size(), QSize(32, 32));
    // Children later in the list are drawn on top.
    const QObjectList siblings = icon->parentWidget()->children();
    QVERIFY(siblings.indexOf(icon) > siblings.indexOf(name));
    QCOMPARE(Find<QLabel>(box_.get(), "Comments")->cursor().shape(),
             Qt::PointingHandCursor);
}

void TestAboutBox::closing_data()
{
    QTest::addColumn<Act>("act");
    QTest::addColumn<int>("result");

    QTest::newRow("OK") << Act([](TAboutBox& box) {
        QTest::mouseClick(Find<QPushButton>(box, "OKButton"), Qt::LeftButton);
    }) << int(QDialog::Accepted);
    QTest::newRow("Enter") << Act([](TAboutBox& box) { QTest::keyClick(&box, Qt::Key_Return); })
                           << int(QDialog::Accepted);
    QTest::newRow("close box") << Act([](TAboutBox& box) { box.close(); })
                               << int(QDialog::Rejected);
}

void TestAboutBox::closing()
{
    QFETCH(Act, act);
    QFETCH(int, result);

    QCOMPARE(Open(act), result);
    QVERIFY(!leftOpen_);
    QVERIFY(browser_.opened.isEmpty());
}

void TestAboutBox::escapeLeavesItOpen()
{
    // Esc is none of the ways the box closes.
    QCOMPARE(Open([](TAboutBox& box) { QTest::keyClick(&box, Qt::Key_Escape); }), -1);
    QVERIFY(leftOpen_);
}

void TestAboutBox::linkOpensHomePageAndCloses()
{
    QCOMPARE(TAboutBox::HomePage(), QStringLiteral("https://orvelle.example.org/"));
    const int result = Open([](TAboutBox& box) {
        QTest::mouseClick(Find<QLabel>(box, "Comments"), Qt::LeftButton);
    });
    QCOMPARE(result, int(QDialog::Rejected));
    QVERIFY(!leftOpen_);
    QCOMPARE(browser_.opened, QList<QUrl>{QUrl(TAboutBox::HomePage())});
}

void TestAboutBox::eachOpeningIsAFreshBox()
{
    using Snapshot = std::map<QString, QString>;
    const auto snapshot = [](TAboutBox& box) {
        Snapshot texts{{QStringLiteral("caption"), box.windowTitle()}};
        for (QLabel* label : box.findChildren<QLabel*>())
            texts[label->objectName()] = label->text();
        return texts;
    };

    Snapshot first, second;
    QPointer<TAboutBox> firstBox, secondBox;
    QCOMPARE(Open(
                 [&](TAboutBox& box) {
                     first = snapshot(box);
                     box.accept();
                 },
                 &firstBox),
             int(QDialog::Accepted));
    // Released as soon as the pending messages were handled.
    QVERIFY(firstBox.isNull());

    QCOMPARE(Open(
                 [&](TAboutBox& box) {
                     second = snapshot(box);
                     box.accept();
                 },
                 &secondBox),
             int(QDialog::Accepted));
    QVERIFY(secondBox.isNull());
    QVERIFY(!leftOpen_);
    QCOMPARE(first.size(), size_t(6));
    QVERIFY(first == second);
    QVERIFY(mainWindow_->findChildren<TAboutBox*>().isEmpty());
}

QTEST_MAIN(TestAboutBox)
#include "tst_AboutBox.moc"
