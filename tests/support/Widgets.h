#pragma once

// Window-test helpers: controls found by object name, and modal dialogs
// answered from the event loop while their exec() runs.

#include <functional>

#include <QApplication>
#include <QDialog>
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QRect>
#include <QSize>
#include <QString>
#include <QTimer>

namespace orvelle::test {

// The child of parent with this object name and class. A missing control
// stops the test program at once, naming it, instead of crashing on a null
// pointer later.
template <class T>
T* Find(const QObject* parent, const char* name)
{
    T* found = parent->findChild<T*>(QString::fromLatin1(name));
    if (!found)
        qFatal("no control %s", name);
    return found;
}

template <class T>
T* Find(const QObject& parent, const char* name)
{
    return Find<T>(&parent, name);
}

// The top-left corner of a frame of this size centred on area, the odd pixel
// left over falling to the right and below.
inline QPoint CentredOn(const QRect& area, const QSize& frame)
{
    return {area.x() + (area.width() - frame.width()) / 2,
            area.y() + (area.height() - frame.height()) / 2};
}

// Answers the next modal dialog of class Dialog once the event loop runs:
// action plays the user on it. Call it before the code that shows the dialog.
// A dialog the action leaves open is closed with done(-1), and so is any
// other modal window that came up instead (of another class, or not
// expected when one is given), so that a broken answer fails the test
// instead of hanging it; *leftOpen, when given, says that happened.
template <class Dialog>
void AnswerModal(std::function<void(Dialog&)> action, bool* leftOpen = nullptr,
                 Dialog* expected = nullptr)
{
    // Tied to the expected dialog, the answer goes with it should the dialog
    // be destroyed unshown.
    QObject* context = expected ? static_cast<QObject*>(expected) : qApp;
    QPointer<Dialog> wanted = expected;
    const bool byName = expected != nullptr;
    QTimer::singleShot(0, context, [action = std::move(action), leftOpen, wanted, byName] {
        QWidget* active = QApplication::activeModalWidget();
        // An expected dialog counts once it is up: exec() on a dialog that
        // was already showing keeps it off the modal stack.
        Dialog* modal = byName ? (wanted && wanted->isVisible() ? wanted.data() : nullptr)
                               : qobject_cast<Dialog*>(active);
        if (byName && active && active != modal)
            modal = nullptr; // another window came up instead
        if (!modal) {
            if (leftOpen)
                *leftOpen = true;
            if (auto* other = qobject_cast<QDialog*>(active))
                other->done(-1);
            if (wanted && wanted.data() != active)
                wanted->done(-1);
            return;
        }
        action(*modal);
        if (modal->isVisible()) {
            if (leftOpen)
                *leftOpen = true;
            modal->done(-1);
        }
    });
}

// dialog.exec() with action answering it as AnswerModal does; exec's result.
template <class Dialog>
int RunModal(Dialog& dialog, std::function<void(Dialog&)> action, bool* leftOpen = nullptr)
{
    AnswerModal<Dialog>(std::move(action), leftOpen, &dialog);
    return dialog.exec();
}

} // namespace orvelle::test
