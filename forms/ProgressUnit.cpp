#include "ProgressUnit.h"

#include <QFont>
#include <QKeyEvent>
#include <QShowEvent>

#include "Fonts.h"
#include "HandlerGuard.h"
#include "WindowPlacement.h"
#include "ui_ProgressUnit.h"

namespace {

} // namespace

TProgressDlg::TProgressDlg(std::atomic<bool>& CancelFlag, orvelle::UserPrompts& prompts,
                           QWidget* parent)
    : QDialog(parent, orvelle::kFixedDialogFrame | Qt::WindowStaysOnTopHint),
      ui(std::make_unique<Ui::TProgressDlg>()), cancelFlag_(CancelFlag), prompts_(prompts)
{
    ui->setupUi(this);
    setAttribute(Qt::WA_QuitOnClose, false);
    setFont(orvelle::FormFont());
    setFixedSize(500, 100);
    // A long path is cut off at the right edge; the labels never grow or wrap.
    ui->Label1->setFixedSize(490, 20);
    ui->Label2->setFixedSize(490, 20);

    connect(ui->CancelBtn, &QPushButton::clicked, this, &TProgressDlg::CancelBtnClick);
}

TProgressDlg::~TProgressDlg() = default;

QLabel* TProgressDlg::Label1() const
{
    return ui->Label1;
}

QLabel* TProgressDlg::Label2() const
{
    return ui->Label2;
}

QProgressBar* TProgressDlg::ProgressBar1() const
{
    return ui->ProgressBar1;
}

QPushButton* TProgressDlg::CancelBtn() const
{
    return ui->CancelBtn;
}

void TProgressDlg::CancelBtnClick()
{
    orvelle::Guarded(prompts_, this, [this] {
        cancelFlag_ = true;
        hide();
    });
}

void TProgressDlg::reject()
{
    // Esc and the close box both come here. Either acts as CancelBtn: a
    // dialog merely hidden would leave the run going on unseen.
    CancelBtnClick();
}

void TProgressDlg::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (event->spontaneous())
        return;
    orvelle::CentreOnScreen(*this);
}
