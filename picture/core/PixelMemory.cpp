#include "PixelMemory.h"

#include <cstdlib>
#include <cstring>
#include <utility>

#if defined(__unix__) || defined(__APPLE__)
#include <sys/mman.h>
#define ORVELLE_HAVE_MMAP 1
#endif

#include "Errors.h"

namespace orvelle {

namespace {

[[noreturn]] void RaiseRefused()
{
    throw EOutOfResources(OutOfResourcesText());
}

void CheckSize(std::int64_t bytes)
{
    if (bytes < 0 || bytes > PixelMemoryLimit())
        RaiseRefused();
}

} // namespace

PixelMemory::~PixelMemory()
{
    Release();
}

PixelMemory::PixelMemory(PixelMemory&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)),
      mapped_(std::exchange(other.mapped_, false))
{
}

PixelMemory& PixelMemory::operator=(PixelMemory&& other) noexcept
{
    if (this != &other) {
        Release();
        data_ = std::exchange(other.data_, nullptr);
        size_ = std::exchange(other.size_, 0);
        mapped_ = std::exchange(other.mapped_, false);
    }
    return *this;
}

void PixelMemory::Release() noexcept
{
    if (!data_)
        return;
#ifdef ORVELLE_HAVE_MMAP
    if (mapped_) {
        munmap(data_, static_cast<std::size_t>(size_));
        data_ = nullptr;
        return;
    }
#endif
    std::free(data_);
    data_ = nullptr;
}

PixelMemory PixelMemory::Zeroed(std::int64_t bytes)
{
    CheckSize(bytes);
    PixelMemory memory;
    if (bytes == 0)
        return memory;
#ifdef ORVELLE_HAVE_MMAP
    if (bytes >= kOwnMappingSize) {
        // Not reserved against the commit limit: most of it is never written.
        void* p = mmap(nullptr, static_cast<std::size_t>(bytes), PROT_READ | PROT_WRITE,
                       MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
        if (p == MAP_FAILED)
            RaiseRefused();
        memory.data_ = static_cast<std::uint8_t*>(p);
        memory.size_ = bytes;
        memory.mapped_ = true;
        return memory;
    }
#endif
    memory.data_ = static_cast<std::uint8_t*>(std::calloc(static_cast<std::size_t>(bytes), 1));
    if (!memory.data_)
        RaiseRefused();
    memory.size_ = bytes;
    return memory;
}

PixelMemory PixelMemory::ForOverwrite(std::int64_t bytes)
{
    CheckSize(bytes);
    PixelMemory memory;
    if (bytes == 0)
        return memory;
    memory.data_ = static_cast<std::uint8_t*>(std::malloc(static_cast<std::size_t>(bytes)));
    if (!memory.data_)
        RaiseRefused();
    memory.size_ = bytes;
    return memory;
}

PixelMemory PixelMemory::Filled(std::int64_t bytes, std::uint8_t fill)
{
    if (fill == 0)
        return Zeroed(bytes);
    PixelMemory memory = ForOverwrite(bytes);
    if (bytes > 0)
        std::memset(memory.data_, fill, static_cast<std::size_t>(bytes));
    return memory;
}

} // namespace orvelle
