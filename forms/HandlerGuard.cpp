#include "HandlerGuard.h"

#include <exception>

#include <QString>

#include "Errors.h"
#include "UserPrompts.h"

namespace orvelle {

void Guarded(UserPrompts& prompts, QWidget* owner, const std::function<void()>& body) noexcept
{
    try {
        body();
    } catch (const std::exception& e) {
        prompts.ShowError(owner, ErrorMessage(e));
    }
}

} // namespace orvelle
