#pragma once

#include <functional>

class QWidget;

namespace orvelle {

class UserPrompts;

// Runs one event handler's body. An error it raises ends the body and is shown
// in the error box; nothing escapes into Qt's event dispatch, which is not
// exception-safe. This is the one place that catches the program's errors.
void Guarded(UserPrompts& prompts, QWidget* owner, const std::function<void()>& body) noexcept;

} // namespace orvelle
