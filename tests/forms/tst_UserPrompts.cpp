#include <algorithm>
#include <functional>
#include <new>
#include <stdexcept>
#include <vector>

#include <QAbstractButton>
#include <QApplication>
#include <QDialogButtonBox>
#include <QMessageBox>
#include <QProxyStyle>
#include <QPushButton>
#include <QTest>
#include <QWidget>

#include "Errors.h"
#include "FakePrompts.h"
#include "HandlerGuard.h"
#include "UserPrompts.h"
#include "Widgets.h"

using namespace Qt::StringLiterals;
using orvelle::test::FakePrompts;

namespace {

// What the user saw of one message box.
struct SeenBox {
    bool shown = false;
    bool leftOpen = false; // the box outlived the action meant to end it
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    bool hasIconPicture = false;
    Qt::TextFormat format = Qt::AutoText;
    QStringList buttons; // left to right, as laid out on the screen
    QString defaultButton;
    QWidget* parent = nullptr;
};

QAbstractButton* ButtonNamed(QMessageBox& box, const QString& text)
{
    for (QAbstractButton* button : box.buttons()) {
        if (button->text() == text)
            return button;
    }
    return nullptr;
}

void Describe(QMessageBox& box, SeenBox& seen)
{
    seen.shown = true;
    seen.title = box.windowTitle();
    seen.text = box.text();
    seen.icon = box.icon();
    seen.hasIconPicture = !box.iconPixmap().isNull();
    seen.format = box.textFormat();
    seen.parent = box.parentWidget();
    QList<QAbstractButton*> buttons = box.buttons();
    std::sort(buttons.begin(), buttons.end(), [&box](QAbstractButton* a, QAbstractButton* b) {
        return a->mapTo(&box, QPoint()).x() < b->mapTo(&box, QPoint()).x();
    });
    for (QAbstractButton* button : buttons)
        seen.buttons << button->text();
    if (QPushButton* def = box.defaultButton())
        seen.defaultButton = def->text();
}

// Describes the box the next prompt puts up and then answers it with act. A
// box that act fails to close is closed afterwards and reported, so that a
// broken answer fails the test instead of hanging it.
void AnswerNextBox(SeenBox& seen, std::function<void(QMessageBox&)> act)
{
    orvelle::test::AnswerModal<QMessageBox>(
        [&seen, act](QMessageBox& box) {
            Describe(box, seen);
            act(box);
        },
        &seen.leftOpen);
}

void Click(QMessageBox& box, const QString& button)
{
    if (QAbstractButton* b = ButtonNamed(box, button))
        QTest::mouseClick(b, Qt::LeftButton);
}

// The focused control gets the key, as it would from the keyboard.
void PressKey(QMessageBox& box, Qt::Key key)
{
    QWidget* target = box.focusWidget() ? box.focusWidget() : &box;
    QTest::keyClick(target, key);
}

// Lays dialog buttons out the way a given desktop does.
class ButtonLayoutStyle final : public QProxyStyle {
public:
    explicit ButtonLayoutStyle(int layout) : QProxyStyle(u"Fusion"_s), layout_(layout) {}

    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override
    {
        if (hint == SH_DialogButtonLayout)
            return layout_;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }

private:
    int layout_;
};

enum class Answer { ClickYes, ClickCancel, Return, Enter, Escape, CloseBox };

} // namespace

Q_DECLARE_METATYPE(Answer)

class tst_UserPrompts : public QObject {
    Q_OBJECT

private slots:
    void plainBox();
    void errorBox();
    void boxesShowTextAsItIs();
    void confirmationBox();
    void confirmationButtonOrderOnEveryDesktop_data();
    void confirmationButtonOrderOnEveryDesktop();
    void confirmationAnswers_data();
    void confirmationAnswers();
    void errorBoxText_data();
    void errorBoxText();
    void guardedShowsEachErrorOnce();
    void guardedQuietBodyShowsNothing();
};

void tst_UserPrompts::plainBox()
{
    QWidget owner;
    owner.show();
    orvelle::QtPrompts prompts;
    SeenBox seen;
    AnswerNextBox(seen, [](QMessageBox& box) { Click(box, u"OK"_s); });
    const QString text = u"リスト内にファイルがありませんが...┐(´～`；)┌"_s;
    prompts.ShowMessage(&owner, text);

    QVERIFY(seen.shown);
    QVERIFY(!seen.leftOpen);
    QCOMPARE(seen.title, u"Orvelle"_s);
    QCOMPARE(seen.text, text); // a notice gets no full stop
    QCOMPARE(seen.icon, QMessageBox::NoIcon);
    QVERIFY(!seen.hasIconPicture);
    QCOMPARE(seen.buttons, QStringList{u"OK"_s});
    QCOMPARE(seen.parent, &owner);
    QCOMPARE(orvelle::ApplicationTitle(), u"Orvelle"_s);
}

void tst_UserPrompts::errorBox()
{
    orvelle::QtPrompts prompts;
    SeenBox seen;
    AnswerNextBox(seen, [](QMessageBox& box) { PressKey(box, Qt::Key_Return); });
    prompts.ShowError(nullptr, u"ファイル /写真/a.jpg は開けません"_s);

    QVERIFY(seen.shown);
    QVERIFY(!seen.leftOpen);
    QCOMPARE(seen.title, u"Orvelle"_s);
    QCOMPARE(seen.text, u"ファイル /写真/a.jpg は開けません."_s);
    QCOMPARE(seen.icon, QMessageBox::Critical);
    QVERIFY(seen.hasIconPicture);
    QCOMPARE(seen.buttons, QStringList{u"OK"_s});

    // Escape ends it as well.
    SeenBox again;
    AnswerNextBox(again, [](QMessageBox& box) { PressKey(box, Qt::Key_Escape); });
    prompts.ShowError(nullptr, u"x)"_s);
    QVERIFY(again.shown);
    QVERIFY(!again.leftOpen);
    QCOMPARE(again.text, u"x)"_s);
}

void tst_UserPrompts::boxesShowTextAsItIs()
{
    // Names on Linux may hold "<" and "&"; taken for markup, "<b>" would
    // vanish from the box and the rest turn bold.
    const QString message = u"ファイル /tmp/<b>写真</b> &amp; 1.jpg は開けません"_s;
    orvelle::QtPrompts prompts;

    SeenBox error;
    AnswerNextBox(error, [](QMessageBox& box) { Click(box, u"OK"_s); });
    prompts.ShowError(nullptr, message);
    QCOMPARE(error.format, Qt::PlainText);
    QCOMPARE(error.text, message + u'.');

    SeenBox notice;
    AnswerNextBox(notice, [](QMessageBox& box) { Click(box, u"OK"_s); });
    prompts.ShowMessage(nullptr, message);
    QCOMPARE(notice.format, Qt::PlainText);

    SeenBox question;
    AnswerNextBox(question, [](QMessageBox& box) { Click(box, u"キャンセル"_s); });
    prompts.Confirm(nullptr, message);
    QCOMPARE(question.format, Qt::PlainText);
}

void tst_UserPrompts::confirmationBox()
{
    orvelle::QtPrompts prompts;
    SeenBox seen;
    AnswerNextBox(seen, [](QMessageBox& box) { Click(box, u"キャンセル"_s); });
    QVERIFY(!prompts.Confirm(nullptr, u"リストをクリアしますか？"_s));

    QVERIFY(seen.shown);
    QVERIFY(!seen.leftOpen);
    QCOMPARE(seen.title, u"確認"_s);
    QCOMPARE(seen.text, u"リストをクリアしますか？"_s);
    QCOMPARE(seen.icon, QMessageBox::Question);
    QVERIFY(seen.hasIconPicture);
    QCOMPARE(seen.buttons, (QStringList{u"はい(&Y)"_s, u"キャンセル"_s}));
    QCOMPARE(seen.defaultButton, u"はい(&Y)"_s);
}

void tst_UserPrompts::confirmationButtonOrderOnEveryDesktop_data()
{
    QTest::addColumn<int>("layout");
    QTest::newRow("Windows") << int(QDialogButtonBox::WinLayout);
    QTest::newRow("macOS") << int(QDialogButtonBox::MacLayout);
    QTest::newRow("KDE") << int(QDialogButtonBox::KdeLayout);
    QTest::newRow("GNOME") << int(QDialogButtonBox::GnomeLayout);
    QTest::newRow("Android") << int(QDialogButtonBox::AndroidLayout);
}

void tst_UserPrompts::confirmationButtonOrderOnEveryDesktop()
{
    // Desktops order dialog buttons by their roles; the confirmation keeps
    // "はい(&Y)" first wherever it runs.
    QFETCH(int, layout);
    const QString previousStyle = QApplication::style()->name();
    QApplication::setStyle(new ButtonLayoutStyle(layout)); // the application owns it
    orvelle::QtPrompts prompts;
    SeenBox seen;
    AnswerNextBox(seen, [](QMessageBox& box) { Click(box, u"はい(&Y)"_s); });
    const bool answer = prompts.Confirm(nullptr, u"リストをクリアしますか？"_s);
    QApplication::setStyle(previousStyle);

    QVERIFY(answer);
    QCOMPARE(seen.buttons, (QStringList{u"はい(&Y)"_s, u"キャンセル"_s}));
}

void tst_UserPrompts::confirmationAnswers_data()
{
    QTest::addColumn<Answer>("answer");
    QTest::addColumn<bool>("expected");
    QTest::newRow("click はい(&Y)") << Answer::ClickYes << true;
    QTest::newRow("click キャンセル") << Answer::ClickCancel << false;
    QTest::newRow("Return takes the default") << Answer::Return << true;
    QTest::newRow("Enter takes the default") << Answer::Enter << true;
    QTest::newRow("Escape cancels") << Answer::Escape << false;
    QTest::newRow("the close box cancels") << Answer::CloseBox << false;
}

void tst_UserPrompts::confirmationAnswers()
{
    QFETCH(Answer, answer);
    QFETCH(bool, expected);
    orvelle::QtPrompts prompts;
    SeenBox seen;
    AnswerNextBox(seen, [answer](QMessageBox& box) {
        switch (answer) {
        case Answer::ClickYes:
            Click(box, u"はい(&Y)"_s);
            break;
        case Answer::ClickCancel:
            Click(box, u"キャンセル"_s);
            break;
        case Answer::Return:
            PressKey(box, Qt::Key_Return);
            break;
        case Answer::Enter:
            PressKey(box, Qt::Key_Enter);
            break;
        case Answer::Escape:
            PressKey(box, Qt::Key_Escape);
            break;
        case Answer::CloseBox:
            box.close();
            break;
        }
    });
    QCOMPARE(prompts.Confirm(nullptr, u"元に戻せません\r\n本当に削除しますか？"_s), expected);
    QVERIFY(seen.shown);
    QVERIFY(!seen.leftOpen);
    QCOMPARE(seen.text, u"元に戻せません\r\n本当に削除しますか？"_s);
}

void tst_UserPrompts::errorBoxText_data()
{
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("expected");
    QTest::newRow("empty") << QString() << QString();
    QTest::newRow("letter") << u"abc"_s << u"abc."_s;
    QTest::newRow("already a full stop") << u"a."_s << u"a."_s;
    QTest::newRow("bracket sorts before the dot") << u"x)"_s << u"x)"_s;
    QTest::newRow("exclamation sorts before the dot") << u"!"_s << u"!"_s;
    QTest::newRow("hyphen sorts before the dot") << u"a-"_s << u"a-"_s;
    QTest::newRow("blank sorts before the dot") << u"a "_s << u"a "_s;
    QTest::newRow("slash sorts after the dot") << u"a/"_s << u"a/."_s;
    QTest::newRow("digit") << u"code 5"_s << u"code 5."_s;
    QTest::newRow("Japanese") << u"エラー"_s << u"エラー."_s;
    QTest::newRow("file message") << u"ファイル a は開けません"_s << u"ファイル a は開けません."_s;
    QTest::newRow("ideographic full stop") << u"終わり。"_s << u"終わり。."_s;
    QTest::newRow("outside the basic plane") << u"𠮷"_s << u"𠮷."_s;
}

void tst_UserPrompts::errorBoxText()
{
    QFETCH(QString, message);
    QFETCH(QString, expected);
    QCOMPARE(orvelle::ErrorBoxText(message), expected);
}

void tst_UserPrompts::guardedShowsEachErrorOnce()
{
    struct Row {
        const char* why;
        std::function<void()> failure;
        QString message; // empty: any text will do
    };
    const Row rows[] = {
        {"a file that cannot be opened", [] { orvelle::RaiseFileOpen(u"/写真/a.jpg"_s); },
         u"ファイル /写真/a.jpg は開けません"_s},
        {"another error class", [] { throw EInvalidGraphic(u"ビットマップが無効です"_s); },
         u"ビットマップが無効です"_s},
        {"a library error", [] { throw std::runtime_error("ディスク エラー"); },
         u"ディスク エラー"_s},
        {"an index out of range", [] { (void)std::vector<int>{}.at(1); }, QString()},
        {"memory ran out", [] { throw std::bad_alloc(); }, QString()},
    };
    for (const Row& row : rows) {
        FakePrompts prompts;
        bool before = false;
        bool after = false;
        orvelle::Guarded(prompts, nullptr, [&] {
            before = true;
            row.failure();
            after = true;
        });
        const QStringList errors = prompts.Texts(FakePrompts::Kind::Error);
        QVERIFY2(before && !after, row.why);
        QVERIFY2(prompts.shown.size() == 1 && errors.size() == 1, row.why);
        if (row.message.isEmpty())
            QVERIFY2(!errors.front().isEmpty(), row.why);
        else
            QCOMPARE(errors.front(), row.message);
    }
}

void tst_UserPrompts::guardedQuietBodyShowsNothing()
{
    FakePrompts prompts;
    int runs = 0;
    orvelle::Guarded(prompts, nullptr, [&runs] { ++runs; });
    QCOMPARE(runs, 1);
    QVERIFY(prompts.shown.isEmpty());
}

QTEST_MAIN(tst_UserPrompts)
#include "tst_UserPrompts.moc"
