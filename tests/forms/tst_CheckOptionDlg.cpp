#include <functional>
#include <memory>

#include <QApplication>
#include <QClipboard>
#include <QGroupBox>
#include <QInputMethodEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTest>

#include "CheckOptionUnit.h"
#include "FakePrompts.h"
#include "Fonts.h"
#include "ModalResult.h"
#include "Widgets.h"

using orvelle::test::AnswerModal;
using orvelle::test::Find;

class TestCheckOptionDlg : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { orvelle::RegisterFontSubstitutes(); }
    void init();
    void cleanup();

    void window();
    void controls_data();
    void controls();
    void keyFilter_data();
    void keyFilter();
    void typing_data();
    void typing();
    void inputMethodIsIgnored();
    void enablingRule();
    void tabOrder_data();
    void tabOrder();
    void showModal_data();
    void showModal();
    void cancelKeepsChoices();
    void centredAtEveryShowing();

private:
    // Runs ShowModal while `act` plays the user on the modal dialog. An act
    // that leaves the dialog open is reported and the dialog forced shut, so
    // a fault never hangs the test.
    int ShowModalWith(const std::function<void(TCheckOptionDlg&)>& act);
    void ChooseFuzzy() { Find<QRadioButton>(dlg_.get(), "RadioButton2")->click(); }
    // Qt takes a click on a radio button or check box only over its mark and
    // its caption, so aim at the mark.
    static void ClickMark(QAbstractButton* button)
    {
        QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(6, button->height() / 2));
    }

    orvelle::test::FakePrompts prompts_;
    std::unique_ptr<TCheckOptionDlg> dlg_;
    bool leftOpen_ = false;
};

void TestCheckOptionDlg::init()
{
    prompts_ = {};
    leftOpen_ = false;
    dlg_ = std::make_unique<TCheckOptionDlg>(prompts_);
}

void TestCheckOptionDlg::cleanup()
{
    dlg_.reset();
    QCOMPARE(prompts_.shown.size(), 0); // the dialog never shows a box of its own
}

int TestCheckOptionDlg::ShowModalWith(const std::function<void(TCheckOptionDlg&)>& act)
{
    // ShowModal, not exec(): it sets the dialog up before showing it.
    AnswerModal<TCheckOptionDlg>(act, &leftOpen_, dlg_.get());
    return dlg_->ShowModal();
}

void TestCheckOptionDlg::window()
{
    QCOMPARE(dlg_->windowTitle(), QStringLiteral("チェックオプション"));
    QCOMPARE(dlg_->size(), QSize(310, 140));
    QCOMPARE(dlg_->minimumSize(), dlg_->maximumSize());
    QVERIFY(dlg_->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    QCOMPARE(dlg_->font().family(), QStringLiteral("ＭＳ Ｐゴシック"));
    QCOMPARE(Find<QLabel>(dlg_.get(), "Label1")->font().pixelSize(), 12);
    QVERIFY(Find<QPushButton>(dlg_.get(), "OKBtn")->isDefault());
    ChooseFuzzy(); // enabling a field must not bring its input method back
    for (const char* name : {"Memo1", "Memo2"}) {
        auto* field = Find<QLineEdit>(dlg_.get(), name);
        QVERIFY(!field->testAttribute(Qt::WA_InputMethodEnabled));
        QCOMPARE(field->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignRight);
    }
}

void TestCheckOptionDlg::controls_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("parent");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("hint");

    const QString top = QStringLiteral("TCheckOptionDlg");
    const QString group = QStringLiteral("GroupBox1");
    QTest::newRow("OKBtn") << "OKBtn" << top << QRect(230, 10, 75, 25) << "OK"
                           << "";
    QTest::newRow("CancelBtn") << "CancelBtn" << top << QRect(230, 40, 75, 25) << "キャンセル"
                               << "";
    QTest::newRow("GroupBox1") << "GroupBox1" << top << QRect(5, 5, 220, 130) << "一致条件"
                               << "";
    QTest::newRow("RadioButton1") << "RadioButton1" << group << QRect(10, 20, 190, 17) << "完全一致"
                                  << "全く同じ画像である必要がある";
    QTest::newRow("RadioButton2") << "RadioButton2" << group << QRect(10, 40, 190, 17)
                                  << "あいまい検索"
                                  << "部分的に一致していれば良い。#以下のオプションで指定";
    QTest::newRow("CheckBox1") << "CheckBox1" << group << QRect(20, 60, 195, 17)
                               << "画像サイズは無視する。"
                               << "画像の大きさは無視して照合します";
    QTest::newRow("Label3") << "Label3" << group << QRect(20, 80, 130, 20)
                            << "明るさ・色合いの許容誤差"
                            << "";
    QTest::newRow("Memo2") << "Memo2" << group << QRect(155, 80, 35, 20) << "5"
                           << "";
    QTest::newRow("Label4") << "Label4" << group << QRect(195, 80, 10, 20) << "%"
                            << "";
    QTest::newRow("Label1") << "Label1" << group << QRect(20, 105, 130, 20)
                            << "ノイズ・文字等の許容誤差"
                            << "";
    QTest::newRow("Memo1") << "Memo1" << group << QRect(155, 105, 35, 20) << "15"
                           << "";
    QTest::newRow("Label2") << "Label2" << group << QRect(195, 105, 10, 20) << "%"
                            << "";
}

void TestCheckOptionDlg::controls()
{
    QFETCH(QString, name);
    QFETCH(QString, parent);
    QFETCH(QRect, geometry);
    QFETCH(QString, text);
    QFETCH(QString, hint);

    auto* control = dlg_->findChild<QWidget*>(name);
    QVERIFY(control);
    QCOMPARE(control->parentWidget()->objectName(), parent);
    QCOMPARE(control->geometry(), geometry);
    const char* textProperty = qobject_cast<QGroupBox*>(control) ? "title" : "text";
    QCOMPARE(control->property(textProperty).toString(), text);
    QCOMPARE(control->toolTip(), hint);
    QCOMPARE(control->statusTip(), hint);
    if (auto* label = qobject_cast<QLabel*>(control))
        QCOMPARE(label->alignment() & Qt::AlignVertical_Mask, Qt::AlignVCenter);
}

void TestCheckOptionDlg::keyFilter_data()
{
    QTest::addColumn<QChar>("typed");
    QTest::addColumn<bool>("passes");

    for (char16_t digit = u'0'; digit <= u'9'; ++digit)
        QTest::addRow("digit %c", char(digit)) << QChar(digit) << true;
    QTest::newRow("'/' just below 0") << QChar(u'/') << false;
    QTest::newRow("':' just above 9") << QChar(u':') << false;
    QTest::newRow("letter") << QChar(u'a') << false;
    QTest::newRow("minus") << QChar(u'-') << false;
    QTest::newRow("full stop") << QChar(u'.') << false;
    QTest::newRow("blank") << QChar(u' ') << false;
    QTest::newRow("Backspace") << QChar(u'\b') << false;
    QTest::newRow("Enter") << QChar(u'\r') << false;
    QTest::newRow("Ctrl+Enter") << QChar(u'\n') << false;
    QTest::newRow("Ctrl+C") << QChar(0x03) << false;
    QTest::newRow("Ctrl+V") << QChar(0x16) << false;
    QTest::newRow("Ctrl+X") << QChar(0x18) << false;
    QTest::newRow("Ctrl+Z") << QChar(0x1a) << false;
    QTest::newRow("full-width digit") << QChar(u'１') << false;
}

void TestCheckOptionDlg::keyFilter()
{
    QFETCH(QChar, typed);
    QFETCH(bool, passes);

    QChar key1 = typed;
    dlg_->Memo1KeyPress(key1);
    QChar key2 = typed;
    dlg_->Memo2KeyPress(key2);
    QCOMPARE(key1, passes ? typed : QChar(0));
    QCOMPARE(key2, passes ? typed : QChar(0));
}

void TestCheckOptionDlg::typing_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("caret"); // -1: select the whole text first
    QTest::addColumn<QString>("after");

    const int none = Qt::NoModifier;
    const int ctrl = Qt::ControlModifier;
    const int shift = Qt::ShiftModifier;
    QTest::newRow("digit") << int(Qt::Key_7) << none << "7" << 2 << "157";
    QTest::newRow("letter") << int(Qt::Key_A) << none << "a" << 2 << "15";
    QTest::newRow("Backspace") << int(Qt::Key_Backspace) << none << "\b" << 2 << "15";
    QTest::newRow("Ctrl+V") << int(Qt::Key_V) << ctrl << "\x16" << 2 << "15";
    QTest::newRow("Ctrl+X") << int(Qt::Key_X) << ctrl << "\x18" << -1 << "15";
    QTest::newRow("Delete") << int(Qt::Key_Delete) << none << "\x7f" << 0 << "5";
    QTest::newRow("Shift+Insert pastes") << int(Qt::Key_Insert) << shift << "" << 2 << "151a";
    QTest::newRow("Shift+Delete cuts") << int(Qt::Key_Delete) << shift << "" << -1 << "";
}

void TestCheckOptionDlg::typing()
{
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(QString, text);
    QFETCH(int, caret);
    QFETCH(QString, after);

    ChooseFuzzy();
    dlg_->show();
    QVERIFY(QTest::qWaitForWindowActive(dlg_.get()));
    for (const char* name : {"Memo1", "Memo2"}) {
        QApplication::clipboard()->setText(QStringLiteral("1a"));
        auto* field = Find<QLineEdit>(dlg_.get(), name);
        field->setFocus();
        field->setText(QStringLiteral("15"));
        if (caret < 0)
            field->selectAll();
        else
            field->setCursorPosition(caret);
        QTest::sendKeyEvent(QTest::Click, field, Qt::Key(key), text,
                            Qt::KeyboardModifiers(modifiers));
        QCOMPARE(field->text(), after);
    }
}

void TestCheckOptionDlg::inputMethodIsIgnored()
{
    ChooseFuzzy();
    QInputMethodEvent composed;
    composed.setCommitString(QStringLiteral("あ"));
    QApplication::sendEvent(dlg_->Memo1(), &composed);
    QCOMPARE(dlg_->Memo1()->text(), QStringLiteral("15"));
}

void TestCheckOptionDlg::enablingRule()
{
    const auto fuzzyControls = [this] {
        return QList<bool>{dlg_->CheckBox1()->isEnabled(), dlg_->Memo1()->isEnabled(),
                           dlg_->Memo2()->isEnabled()};
    };
    QVERIFY(dlg_->RadioButton1()->isChecked());
    QVERIFY(dlg_->CheckBox1()->isChecked());
    QCOMPARE(fuzzyControls(), QList<bool>({false, false, false}));

    dlg_->show();
    QVERIFY(QTest::qWaitForWindowExposed(dlg_.get()));
    ClickMark(dlg_->RadioButton2());
    QVERIFY(dlg_->RadioButton2()->isChecked());
    QVERIFY(!dlg_->RadioButton1()->isChecked());
    QCOMPARE(fuzzyControls(), QList<bool>({true, true, true}));
    QVERIFY(dlg_->CheckBox1()->isChecked()); // the tick shows as it was

    ClickMark(dlg_->CheckBox1());
    dlg_->Memo1()->setText(QStringLiteral("30"));
    ClickMark(dlg_->RadioButton1());
    QCOMPARE(fuzzyControls(), QList<bool>({false, false, false}));
    QVERIFY(!dlg_->CheckBox1()->isChecked()); // greyed, but the untick stays
    QCOMPARE(dlg_->Memo1()->text(), QStringLiteral("30"));

    // A tick set while exact matching is chosen is still what is reported.
    dlg_->CheckBox1()->setChecked(true);
    QVERIFY(dlg_->CheckBox1()->isChecked() && !dlg_->CheckBox1()->isEnabled());
}

void TestCheckOptionDlg::tabOrder_data()
{
    QTest::addColumn<bool>("fuzzy");
    QTest::addColumn<QStringList>("fromOK");

    // Disabled controls are passed over.
    QTest::newRow("fuzzy") << true << QStringList{"CancelBtn", "RadioButton2", "CheckBox1",
                                                  "Memo1",     "Memo2",        "OKBtn"};
    QTest::newRow("exact") << false << QStringList{"CancelBtn", "RadioButton1", "OKBtn"};
}

void TestCheckOptionDlg::tabOrder()
{
    QFETCH(bool, fuzzy);
    QFETCH(QStringList, fromOK);

    dlg_->show();
    QVERIFY(QTest::qWaitForWindowActive(dlg_.get()));
    // Focus the other radio button first and then choose without focusing:
    // the tab stop must follow the choice, not the focus.
    QRadioButton* chosen = fuzzy ? dlg_->RadioButton2() : dlg_->RadioButton1();
    QRadioButton* other = fuzzy ? dlg_->RadioButton1() : dlg_->RadioButton2();
    ClickMark(other);
    chosen->click();
    Find<QPushButton>(dlg_.get(), "OKBtn")->setFocus();
    QStringList visited;
    for (qsizetype i = 0; i < fromOK.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        visited << QApplication::focusWidget()->objectName();
    }
    QCOMPARE(visited, fromOK);
}

void TestCheckOptionDlg::showModal_data()
{
    using Act = std::function<void(TCheckOptionDlg&)>;
    QTest::addColumn<Act>("act");
    QTest::addColumn<int>("result");

    const auto button = [](const char* name) {
        return [name](TCheckOptionDlg& dlg) {
            QTest::mouseClick(Find<QPushButton>(dlg, name),
                              Qt::LeftButton);
        };
    };
    const auto keyOn = [](const char* name, Qt::Key key) {
        return [name, key](TCheckOptionDlg& dlg) {
            dlg.RadioButton2()->click();
            auto* target = Find<QWidget>(dlg, name);
            target->setFocus();
            QTest::keyClick(target, key);
        };
    };
    QTest::newRow("OKBtn click") << Act(button("OKBtn")) << int(orvelle::mrOK);
    QTest::newRow("Enter in Memo1") << Act(keyOn("Memo1", Qt::Key_Return)) << int(orvelle::mrOK);
    QTest::newRow("Enter in Memo2") << Act(keyOn("Memo2", Qt::Key_Enter)) << int(orvelle::mrOK);
    QTest::newRow("space on OKBtn") << Act(keyOn("OKBtn", Qt::Key_Space)) << int(orvelle::mrOK);
    QTest::newRow("Enter on CancelBtn")
        << Act(keyOn("CancelBtn", Qt::Key_Return)) << int(orvelle::mrCancel);
    QTest::newRow("CancelBtn click") << Act(button("CancelBtn")) << int(orvelle::mrCancel);
    QTest::newRow("Esc in Memo1") << Act(keyOn("Memo1", Qt::Key_Escape)) << int(orvelle::mrCancel);
    QTest::newRow("close box") << Act([](TCheckOptionDlg& dlg) { dlg.close(); })
                               << int(orvelle::mrCancel);
}

void TestCheckOptionDlg::showModal()
{
    using Act = std::function<void(TCheckOptionDlg&)>;
    QFETCH(Act, act);
    QFETCH(int, result);

    QCOMPARE(ShowModalWith(act), result);
    QVERIFY(!leftOpen_);
    QVERIFY(!dlg_->isVisible());
}

void TestCheckOptionDlg::cancelKeepsChoices()
{
    const int first = ShowModalWith([](TCheckOptionDlg& dlg) {
        ClickMark(dlg.RadioButton2());
        ClickMark(dlg.CheckBox1());
        QTest::keyClick(dlg.Memo1(), Qt::Key_Escape);
    });
    QCOMPARE(first, int(orvelle::mrCancel));

    dlg_->Memo1()->setText(QStringLiteral("25"));
    dlg_->Memo2()->setText(QStringLiteral("40"));
    bool fuzzy = false, ticked = true, enabled = false;
    QString texts;
    const int second = ShowModalWith([&](TCheckOptionDlg& dlg) {
        fuzzy = dlg.RadioButton2()->isChecked();
        ticked = dlg.CheckBox1()->isChecked();
        enabled =
            dlg.CheckBox1()->isEnabled() && dlg.Memo1()->isEnabled() && dlg.Memo2()->isEnabled();
        texts = dlg.Memo1()->text() + u'/' + dlg.Memo2()->text();
        Find<QPushButton>(dlg, "OKBtn")->click();
    });
    QCOMPARE(second, int(orvelle::mrOK));
    QVERIFY(!leftOpen_);
    QVERIFY(fuzzy);
    QVERIFY(!ticked);
    QVERIFY(enabled);
    QCOMPARE(texts, QStringLiteral("25/40"));
}

void TestCheckOptionDlg::centredAtEveryShowing()
{
    for (int showing = 0; showing < 2; ++showing) {
        dlg_->show();
        QVERIFY(QTest::qWaitForWindowExposed(dlg_.get()));
        const QRect area = dlg_->screen()->availableGeometry();
        const QRect frame = dlg_->frameGeometry();
        QCOMPARE(frame.topLeft(), orvelle::test::CentredOn(area, frame.size()));
        dlg_->move(0, 0); // wherever it was left, the next showing centres it
        dlg_->hide();
    }
}

QTEST_MAIN(TestCheckOptionDlg)
#include "tst_CheckOptionDlg.moc"
