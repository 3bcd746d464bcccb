// The main window's rules that the other window tests leave alone: the
// logout question, the right button over the file list, and the
// extension list's own bytes.

#include <memory>

#include <QContextMenuEvent>
#include <QListWidget>
#include <QMenu>
#include <QtTest>

#include "ByteNames.h"
#include "FakePrompts.h"
#include "Fonts.h"
#include "MainUnit.h"
#include "NativePath.h"
#include "TestSupport.h"

using orvelle::test::FakePrompts;
using orvelle::test::Sandbox;
using Kind = FakePrompts::Kind;

class tst_WindowRules : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { orvelle::RegisterFontSubstitutes(); }
    void init()
    {
        sandbox_ = std::make_unique<Sandbox>();
        prompts_ = std::make_unique<FakePrompts>();
    }
    void cleanup()
    {
        form_.reset();
        prompts_.reset();
        sandbox_.reset();
    }
    void logoutAnswerHoldsOnlyForTheLogout();
    void rightButtonKeepsTheSelection();
    void patternsKeepTheirBytes();

private:
    TMainForm& Open()
    {
        form_ = std::make_unique<TMainForm>(*prompts_, (*sandbox_)(QStringLiteral("orvelle")));
        form_->show();
        if (!QTest::qWaitForWindowExposed(form_.get()))
            qWarning("the main window was not shown");
        return *form_;
    }

    std::unique_ptr<Sandbox> sandbox_;
    std::unique_ptr<FakePrompts> prompts_;
    std::unique_ptr<TMainForm> form_;
};

void tst_WindowRules::logoutAnswerHoldsOnlyForTheLogout()
{
    TMainForm& form = Open();
    form.ListBox1()->addItems({QStringLiteral("a"), QStringLiteral("b")});
    const QString question = QStringLiteral("本当に終了しますか？");

    // Agreed to at the logout, the session's own closing asks no more.
    prompts_->confirmAnswers = {true};
    QVERIFY(form.AgreeToSessionEnd());
    QVERIFY(form.close());
    QCOMPARE(prompts_->Texts(Kind::Confirm), QStringList{question});

    // Another program cancelled the logout and the user works on: the
    // next close asks again.
    form.show();
    prompts_->confirmAnswers = {true, false};
    QVERIFY(form.AgreeToSessionEnd());
    QTest::mouseClick(form.ListBox1()->viewport(), Qt::LeftButton);
    QVERIFY(!form.close());
    QVERIFY(form.isVisible());
    QCOMPARE(prompts_->Texts(Kind::Confirm), (QStringList{question, question, question}));

    // A refused logout leaves every close asking, as before.
    prompts_->confirmAnswers = {false, false};
    QVERIFY(!form.AgreeToSessionEnd());
    QVERIFY(!form.close());
    QCOMPARE(prompts_->Texts(Kind::Confirm).size(), 5);
    QCOMPARE(prompts_->unexpected, 0);
}

void tst_WindowRules::rightButtonKeepsTheSelection()
{
    TMainForm& form = Open();
    QListWidget* list = form.ListBox1();
    list->addItems({QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")});
    list->item(0)->setSelected(true);
    list->item(2)->setSelected(true);

    // A right click on the unselected row opens the menu over the
    // selection as it was: 除外 then removes a and c, not b.
    QWidget* viewport = list->viewport();
    const QPoint onB = list->visualItemRect(list->item(1)).center();
    QTest::mouseClick(viewport, Qt::RightButton, {}, onB);
    QContextMenuEvent menuEvent(QContextMenuEvent::Mouse, onB, viewport->mapToGlobal(onB));
    QApplication::sendEvent(viewport, &menuEvent);
    QVERIFY(list->item(0)->isSelected());
    QVERIFY(!list->item(1)->isSelected());
    QVERIFY(list->item(2)->isSelected());
    form.PopupMenu1()->close();

    // The left button still selects as it always did.
    QTest::mouseClick(viewport, Qt::LeftButton, {}, onB);
    QVERIFY(!list->item(0)->isSelected());
    QVERIFY(list->item(1)->isSelected());
}

void tst_WindowRules::patternsKeepTheirBytes()
{
    // A Shift-JIS pattern (*.あ, not UTF-8), shown as Qt can show it,
    // matching the Shift-JIS names it was written for and written back as
    // it was read.
    const QByteArray sjis("*.\x82\xA0\r\n*.bmp\r\n", 13);
    sandbox_->WriteFile(QStringLiteral("orvelle.ext"), sjis);
    TMainForm& form = Open();
    QCOMPARE(form.ExtensionList().size(), std::size_t(2));
    QCOMPARE(form.findChild<QListWidget*>(QStringLiteral("CheckListBox1"))->item(0)->text(),
             QStringLiteral("*.\uFFFD\uFFFD"));
    const QString pictures = sandbox_->MakeDir(QStringLiteral("pictures"));
    const QByteArray name("a.\x82\xA0", 4);
    orvelle::test::WriteRaw(orvelle::test::JoinBytes(QFile::encodeName(pictures), name), "x");
    sandbox_->WriteFile(QStringLiteral("pictures/b.jpg"));
    form.findChild<QListWidget*>(QStringLiteral("CheckListBox1"))
        ->item(1)
        ->setCheckState(Qt::Unchecked); // *.bmp
    form.OpenPaths({pictures});
    const QStringList found = form.FileList();
    QCOMPARE(found.size(), 1);
    QCOMPARE(orvelle::PathToNative(found.front()),
             orvelle::test::JoinBytes(QFile::encodeName(pictures), name));
    form_.reset();
    QCOMPARE(sandbox_->ReadFile(QStringLiteral("orvelle.ext")), sjis);
    // Qt's own removal of the sandbox cannot name the file.
    orvelle::test::EmptyRaw(QFile::encodeName(pictures));
}

QTEST_MAIN(tst_WindowRules)
#include "tst_WindowRules.moc"
