#pragma once

#include <atomic>
#include <memory>

#include <QDialog>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

class QKeyEvent;
class QShowEvent;

namespace Ui {
class TProgressDlg;
}

namespace orvelle {
class UserPrompts;
}

// Shown modeless while a check runs: the two files being compared, how far
// the run has come, and the one way to stop it. One instance lives as long as
// the program; closing only hides it, and the labels and the bar keep what the
// run last wrote into them.
class TProgressDlg : public QDialog {
    Q_OBJECT
public:
    // CancelFlag is the main window's flag that the check run polls.
    TProgressDlg(std::atomic<bool>& CancelFlag, orvelle::UserPrompts& prompts,
                 QWidget* parent = nullptr);
    ~TProgressDlg() override;

    QLabel* Label1() const;
    QLabel* Label2() const;
    QProgressBar* ProgressBar1() const;
    QPushButton* CancelBtn() const;

    // Asks the run to stop and hides the dialog; a click on CancelBtn, Esc
    // or the close box.
    void CancelBtnClick();
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    std::unique_ptr<Ui::TProgressDlg> ui;
    std::atomic<bool>& cancelFlag_;
    orvelle::UserPrompts& prompts_;
};
