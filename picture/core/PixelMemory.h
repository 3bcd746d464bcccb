#pragma once

#include <cstddef>
#include <cstdint>

namespace orvelle {

// The most pixel memory one bitmap may take; larger sizes are refused before
// anything is allocated.
constexpr std::int64_t PixelMemoryLimit()
{
    return std::int64_t(1) << 31;
}

// Blocks from this size on are mapped from the system on their own and not
// taken from the heap; below it freed blocks are kept for the next picture
// (KeepFreedPixelMemory).
constexpr std::int64_t kOwnMappingSize = std::int64_t(32) << 20;

// One block of pixel memory, owned. Sizes beyond PixelMemoryLimit() and
// allocations the system refuses raise EOutOfResources; nothing here lets
// std::bad_alloc out.
//
// Zeroed memory is what lets a picture cost only what its file holds: a
// large block is an anonymous mapping, whose pages the system provides,
// cleared, only when they are first written. Rows a file never reaches so
// take address space but no memory, and read as 0 without any code looking
// after them. The mapping is chosen over allocating rows on first write
// because the rows stay one block: every reader keeps taking a row as one
// pointer, and a row that is itself larger than its data (a 1-bit row of
// two thousand million pixels) costs only the pages its data lands on.
class PixelMemory {
public:
    PixelMemory() noexcept = default;
    ~PixelMemory();
    PixelMemory(PixelMemory&& other) noexcept;
    PixelMemory& operator=(PixelMemory&& other) noexcept;
    PixelMemory(const PixelMemory&) = delete;
    PixelMemory& operator=(const PixelMemory&) = delete;

    // Every byte reads 0; a large block commits its pages as they are written.
    static PixelMemory Zeroed(std::int64_t bytes);
    // Every byte set to fill, all of it committed at once.
    static PixelMemory Filled(std::int64_t bytes, std::uint8_t fill);
    // Contents undefined: for memory the caller writes before it reads it.
    static PixelMemory ForOverwrite(std::int64_t bytes);

    std::uint8_t* data() noexcept { return data_; }
    const std::uint8_t* data() const noexcept { return data_; }
    std::int64_t size() const noexcept { return size_; }
    bool empty() const noexcept { return size_ == 0; }

private:
    void Release() noexcept;

    std::uint8_t* data_ = nullptr;
    std::int64_t size_ = 0;
    bool mapped_ = false;
};

} // namespace orvelle
