#pragma once

#include <memory>

#include <QChar>
#include <QCheckBox>
#include <QDialog>
#include <QLineEdit>
#include <QRadioButton>

class QEvent;
class QShowEvent;

namespace Ui {
class TCheckOptionDlg;
}

namespace orvelle {
class UserPrompts;
}

// Asked before every check: exact or fuzzy matching and, for fuzzy matching,
// whether image sizes are ignored and the two tolerances in percent. One
// instance lives as long as the program, so the choices carry over from one
// check to the next; the check run writes both tolerance texts before each
// showing and reads everything back after OK.
class TCheckOptionDlg : public QDialog {
    Q_OBJECT
public:
    explicit TCheckOptionDlg(orvelle::UserPrompts& prompts, QWidget* parent = nullptr);
    ~TCheckOptionDlg() override;

    // Shows the dialog modally: orvelle::mrOK from OKBtn, orvelle::mrCancel
    // from CancelBtn, Esc and the close box.
    int ShowModal();

    QRadioButton* RadioButton1() const;
    QRadioButton* RadioButton2() const;
    QCheckBox* CheckBox1() const;
    QLineEdit* Memo1() const;
    QLineEdit* Memo2() const;

    // The fuzzy-only controls follow the chosen mode; ticks and texts stay.
    void EnableFuzzyOptions(bool Enabled);

    void RadioButton1Click();
    void RadioButton2Click();

    // Lets digits through and turns every other character into QChar(0),
    // which tells the field to ignore the key.
    void Memo1KeyPress(QChar& Key);
    void Memo2KeyPress(QChar& Key);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    std::unique_ptr<Ui::TCheckOptionDlg> ui;
    orvelle::UserPrompts& prompts_;
};
