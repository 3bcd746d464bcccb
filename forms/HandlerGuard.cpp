#include "HandlerGuard.h"

#include <exception>
#include <new>

#include <QString>

#include "Errors.h"
#include "UserPrompts.h"

namespace orvelle {

void Guarded(UserPrompts& prompts, QWidget* owner, const std::function<void()>& body) noexcept
{
    try {
        body();
    } catch (const Exception& e) {
        prompts.ShowError(owner, e.Message());
    } catch (const std::bad_alloc&) {
        prompts.ShowError(owner, OutOfMemoryText());
    } catch (const std::exception& e) {
        prompts.ShowError(owner, QString::fromUtf8(e.what()));
    }
}

} // namespace orvelle
