#include "FakePrompts.h"

#include <QFileDialog>

namespace orvelle::test {

void FakePrompts::ShowMessage(QWidget*, const QString& text)
{
    shown.push_back({Kind::Message, text});
}

bool FakePrompts::Confirm(QWidget*, const QString& text)
{
    shown.push_back({Kind::Confirm, text});
    if (meanwhile)
        meanwhile();
    if (confirmAnswers.empty()) {
        ++unexpected;
        return false;
    }
    const bool answer = confirmAnswers.front();
    confirmAnswers.pop_front();
    return answer;
}

void FakePrompts::ShowError(QWidget*, const QString& message)
{
    shown.push_back({Kind::Error, message});
}

QStringList FakePrompts::RunOpenDialog(QFileDialog& dialog)
{
    lastNameFilters = dialog.nameFilters();
    const QStringList selected = dialog.selectedFiles();
    lastInitialFile = selected.isEmpty() ? QString() : selected.front();
    shown.push_back({Kind::OpenDialog, lastNameFilters.join(u";;")});
    if (meanwhile)
        meanwhile();
    if (openAnswers.empty()) {
        ++unexpected;
        return {};
    }
    QStringList answer = openAnswers.front();
    openAnswers.pop_front();
    return answer;
}

QString FakePrompts::BrowseFolder(QWidget*, const QString& instruction)
{
    shown.push_back({Kind::BrowseFolder, instruction});
    if (folderAnswers.empty()) {
        ++unexpected;
        return {};
    }
    QString answer = folderAnswers.front();
    folderAnswers.pop_front();
    return answer;
}

QStringList FakePrompts::Texts(Kind kind) const
{
    QStringList texts;
    for (const Prompt& p : shown) {
        if (p.kind == kind)
            texts << p.text;
    }
    return texts;
}

} // namespace orvelle::test
