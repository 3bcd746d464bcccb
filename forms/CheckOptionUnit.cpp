#include "CheckOptionUnit.h"

#include <QEvent>
#include <QFont>
#include <QKeyEvent>
#include <QShowEvent>

#include "ApplicationHints.h"
#include "Fonts.h"
#include "HandlerGuard.h"
#include "ModalResult.h"
#include "WindowPlacement.h"
#include "ui_CheckOptionUnit.h"

namespace {

// Only the digits 0 to 9 may be typed into a tolerance field.
void KeepDigitsOnly(QChar& key)
{
    if (key < u'0' || key > u'9')
        key = QChar(0);
}

// Keys the dialog itself acts on: they must reach it untouched, so Enter
// presses OKBtn, Esc cancels and Tab moves on.
bool IsDialogKey(int key)
{
    switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        return true;
    default:
        return false;
    }
}

// As in a native dialog, only the chosen radio button is a tab stop, so Tab
// enters the group at the chosen mode. (Qt itself would leave the stop on the
// radio button that last had the focus.)
void MakeTabStop(QRadioButton* chosen, QRadioButton* other)
{
    chosen->setFocusPolicy(Qt::StrongFocus);
    other->setFocusPolicy(Qt::ClickFocus);
}

} // namespace

TCheckOptionDlg::TCheckOptionDlg(orvelle::UserPrompts& prompts, QWidget* parent)
    : QDialog(parent, orvelle::kFixedDialogFrame | Qt::WindowStaysOnTopHint),
      ui(std::make_unique<Ui::TCheckOptionDlg>()), prompts_(prompts)
{
    ui->setupUi(this);
    setAttribute(Qt::WA_QuitOnClose, false);
    setFont(orvelle::FormFont());
    setFixedSize(310, 140);

    orvelle::ApplyHint(ui->RadioButton1, QStringLiteral("全く同じ画像である必要がある"));
    orvelle::ApplyHint(ui->RadioButton2,
                       QStringLiteral("部分的に一致していれば良い。#以下のオプションで指定"));
    orvelle::ApplyHint(ui->CheckBox1, QStringLiteral("画像の大きさは無視して照合します"));

    // The fields take direct single-byte typing only: no input method, and
    // every keystroke passes the digit filter first.
    for (QLineEdit* field : {ui->Memo1, ui->Memo2}) {
        field->setAttribute(Qt::WA_InputMethodEnabled, false);
        field->installEventFilter(this);
    }

    connect(ui->OKBtn, &QPushButton::clicked, this, &QDialog::accept);
    connect(ui->CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
    MakeTabStop(ui->RadioButton1, ui->RadioButton2);
    connect(ui->RadioButton1, &QRadioButton::toggled, this, [this](bool chosen) {
        if (!chosen)
            return;
        MakeTabStop(ui->RadioButton1, ui->RadioButton2);
        RadioButton1Click();
    });
    connect(ui->RadioButton2, &QRadioButton::toggled, this, [this](bool chosen) {
        if (!chosen)
            return;
        MakeTabStop(ui->RadioButton2, ui->RadioButton1);
        RadioButton2Click();
    });
}

TCheckOptionDlg::~TCheckOptionDlg() = default;

int TCheckOptionDlg::ShowModal()
{
    return exec() == QDialog::Accepted ? orvelle::mrOK : orvelle::mrCancel;
}

QRadioButton* TCheckOptionDlg::RadioButton1() const
{
    return ui->RadioButton1;
}

QRadioButton* TCheckOptionDlg::RadioButton2() const
{
    return ui->RadioButton2;
}

QCheckBox* TCheckOptionDlg::CheckBox1() const
{
    return ui->CheckBox1;
}

QLineEdit* TCheckOptionDlg::Memo1() const
{
    return ui->Memo1;
}

QLineEdit* TCheckOptionDlg::Memo2() const
{
    return ui->Memo2;
}

void TCheckOptionDlg::EnableFuzzyOptions(bool Enabled)
{
    ui->CheckBox1->setEnabled(Enabled);
    ui->Memo1->setEnabled(Enabled);
    ui->Memo2->setEnabled(Enabled);
}

void TCheckOptionDlg::RadioButton1Click()
{
    orvelle::Guarded(prompts_, this, [this] { EnableFuzzyOptions(false); });
}

void TCheckOptionDlg::RadioButton2Click()
{
    orvelle::Guarded(prompts_, this, [this] { EnableFuzzyOptions(true); });
}

void TCheckOptionDlg::Memo1KeyPress(QChar& Key)
{
    orvelle::Guarded(prompts_, this, [&Key] { KeepDigitsOnly(Key); });
}

void TCheckOptionDlg::Memo2KeyPress(QChar& Key)
{
    orvelle::Guarded(prompts_, this, [&Key] { KeepDigitsOnly(Key); });
}

bool TCheckOptionDlg::eventFilter(QObject* watched, QEvent* event)
{
    const bool memo1 = watched == ui->Memo1;
    if (!memo1 && watched != ui->Memo2)
        return QDialog::eventFilter(watched, event);

    if (event->type() == QEvent::InputMethod)
        return true;
    if (event->type() != QEvent::KeyPress)
        return QDialog::eventFilter(watched, event);

    const auto* key = static_cast<QKeyEvent*>(event);
    // Delete produces no character here, whatever text the platform attaches
    // to it; keys without text (cursor keys, Shift+Insert and the like) keep
    // their usual effect in the field.
    if (IsDialogKey(key->key()) || key->key() == Qt::Key_Delete || key->text().isEmpty())
        return QDialog::eventFilter(watched, event);

    QChar typed = key->text().front();
    if (memo1)
        Memo1KeyPress(typed);
    else
        Memo2KeyPress(typed);
    return typed.isNull();
}

void TCheckOptionDlg::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (event->spontaneous())
        return;
    orvelle::CentreOnScreen(*this);
}
