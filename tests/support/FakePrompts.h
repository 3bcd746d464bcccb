#pragma once

#include <deque>
#include <functional>

#include <QList>
#include <QString>
#include <QStringList>

#include "UserPrompts.h"

namespace orvelle::test {

// Answers for the user: every box and dialog is recorded, and confirmations
// and dialogs take their answers from the queues (a prompt with no answer
// queued is recorded as unexpected and answered "キャンセル"/cancel).
class FakePrompts final : public UserPrompts {
public:
    enum class Kind { Message, Confirm, Error, OpenDialog, BrowseFolder };
    struct Prompt {
        Kind kind;
        QString text; // the box's text, the error's message, the filter, the instruction
    };

    void ShowMessage(QWidget* owner, const QString& text) override;
    bool Confirm(QWidget* owner, const QString& text) override;
    void ShowError(QWidget* owner, const QString& message) override;
    QStringList RunOpenDialog(QFileDialog& dialog) override;
    QString BrowseFolder(QWidget* owner, const QString& instruction) override;

    // What was shown, oldest first.
    QList<Prompt> shown;
    int unexpected = 0;

    std::deque<bool> confirmAnswers;
    std::deque<QStringList> openAnswers; // an empty list cancels
    std::deque<QString> folderAnswers;   // an empty path cancels

    // Runs while a confirmation or a dialog is up, before it is answered:
    // what other programs do to the files while the user reads.
    std::function<void()> meanwhile;

    // What the open-file dialog was set up with when it was last run.
    QStringList lastNameFilters;
    QString lastInitialFile;

    QStringList Texts(Kind kind) const;
};

} // namespace orvelle::test
