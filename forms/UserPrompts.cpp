#include "UserPrompts.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

namespace orvelle {

QString ApplicationTitle()
{
    return QStringLiteral("Orvelle");
}

QString ErrorBoxText(const QString& message)
{
    if (!message.isEmpty() && message.back() > QChar(u'.'))
        return message + u'.';
    return message;
}

namespace {

// A box with one "OK" button; icon NoIcon for the plain notice.
void ShowOkBox(QWidget* owner, QMessageBox::Icon icon, const QString& text)
{
    QMessageBox box(icon, ApplicationTitle(), text, QMessageBox::NoButton, owner);
    QPushButton* ok = box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
    box.setDefaultButton(ok);
    box.setEscapeButton(ok);
    box.exec();
}

} // namespace

void QtPrompts::ShowMessage(QWidget* owner, const QString& text)
{
    ShowOkBox(owner, QMessageBox::NoIcon, text);
}

void QtPrompts::ShowError(QWidget* owner, const QString& message)
{
    ShowOkBox(owner, QMessageBox::Critical, ErrorBoxText(message));
}

bool QtPrompts::Confirm(QWidget* owner, const QString& text)
{
    QMessageBox box(QMessageBox::Question, QStringLiteral("確認"), text, QMessageBox::NoButton,
                    owner);
    QPushButton* yes = box.addButton(QStringLiteral("はい(&Y)"), QMessageBox::YesRole);
    QPushButton* cancel = box.addButton(QStringLiteral("キャンセル"), QMessageBox::RejectRole);
    box.setDefaultButton(yes);
    box.setEscapeButton(cancel);
    box.exec();
    return box.clickedButton() == yes;
}

QStringList QtPrompts::RunOpenDialog(QFileDialog& dialog)
{
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialog.selectedFiles();
}

QString QtPrompts::BrowseFolder(QWidget* owner, const QString& instruction)
{
    return QFileDialog::getExistingDirectory(owner, instruction, QString(),
                                             QFileDialog::ShowDirsOnly);
}

} // namespace orvelle
