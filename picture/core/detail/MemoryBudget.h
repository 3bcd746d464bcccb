#pragma once

#include <cstdint>

namespace orvelle {

// The memory one picture may hold at once beside its pixel rows while it is
// drawn: the brush patterns and the like a metafile asks for. Each share is
// weighed against what is left before the memory is taken, and a share that
// does not fit raises EOutOfResources, as a refused allocation would; so a
// small file cannot make the program take what it asks for record by record.
// One picture is drawn on one thread: the budget is not shared between them.
class MemoryBudget {
public:
    explicit MemoryBudget(std::int64_t limit) : limit_(limit) {}
    MemoryBudget(const MemoryBudget&) = delete;
    MemoryBudget& operator=(const MemoryBudget&) = delete;

    // Bytes held until the share is destroyed; it must not outlive the budget.
    class Share {
    public:
        Share() = default;
        ~Share();
        Share(Share&& other) noexcept;
        Share& operator=(Share&& other) noexcept;
        Share(const Share&) = delete;
        Share& operator=(const Share&) = delete;

    private:
        friend class MemoryBudget;
        Share(MemoryBudget* budget, std::int64_t bytes) : budget_(budget), bytes_(bytes) {}
        void Release() noexcept;

        MemoryBudget* budget_ = nullptr;
        std::int64_t bytes_ = 0;
    };

    // Raises EOutOfResources, taking nothing, when bytes do not fit.
    Share Take(std::int64_t bytes);

    std::int64_t Held() const noexcept { return held_; }
    std::int64_t Limit() const noexcept { return limit_; }

private:
    std::int64_t limit_;
    std::int64_t held_ = 0;
};

} // namespace orvelle
