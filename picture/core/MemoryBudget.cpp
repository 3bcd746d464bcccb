#include "MemoryBudget.h"

#include <utility>

#include "Errors.h"

namespace orvelle {

MemoryBudget::Share::~Share()
{
    Release();
}

MemoryBudget::Share::Share(Share&& other) noexcept
    : budget_(std::exchange(other.budget_, nullptr)), bytes_(std::exchange(other.bytes_, 0))
{
}

MemoryBudget::Share& MemoryBudget::Share::operator=(Share&& other) noexcept
{
    if (this != &other) {
        Release();
        budget_ = std::exchange(other.budget_, nullptr);
        bytes_ = std::exchange(other.bytes_, 0);
    }
    return *this;
}

void MemoryBudget::Share::Release() noexcept
{
    if (budget_)
        budget_->held_ -= bytes_;
    budget_ = nullptr;
    bytes_ = 0;
}

MemoryBudget::Share MemoryBudget::Take(std::int64_t bytes)
{
    if (bytes < 0 || bytes > limit_ - held_)
        throw EOutOfResources(OutOfResourcesText());
    held_ += bytes;
    return Share(this, bytes);
}

} // namespace orvelle
