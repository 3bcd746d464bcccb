#pragma once

#include <memory>

#include <QDialog>
#include <QString>

class QEvent;
class QShowEvent;

namespace Ui {
class TAboutBox;
}

namespace orvelle {
class UserPrompts;
}

// Product name, version, rights notice, the home page as a link and the
// program icon. Built afresh for each opening and released afterwards.
class TAboutBox : public QDialog {
    Q_OBJECT
public:
    explicit TAboutBox(orvelle::UserPrompts& prompts, QWidget* parent = nullptr);
    ~TAboutBox() override;

    // The address Comments shows and CommentsClick opens.
    static QString HomePage();

    // Opens the home page in the user's browser and closes the box; whether a
    // browser started is not reported.
    void CommentsClick();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    std::unique_ptr<Ui::TAboutBox> ui;
    orvelle::UserPrompts& prompts_;
};
