#include "ExactCompare.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <vector>

#include "Errors.h"
#include "ReadOnlyFile.h"

namespace orvelle {

namespace {

constexpr std::int64_t kBlock = 256 * 1024;

} // namespace

bool FilesIdentical(const QString& Path1, const QString& Path2)
{
    std::optional<ReadOnlyFile> first = ReadOnlyFile::Open(Path1);
    if (!first)
        RaiseFileOpen(Path1);
    std::optional<ReadOnlyFile> second = ReadOnlyFile::Open(Path2);
    if (!second)
        RaiseFileOpen(Path2);
    // Files have no share modes here: the comparison itself refuses to open
    // a file it already holds.
    if (first->Id() == second->Id())
        RaiseFileOpen(Path2);

    if (first->Size() != second->Size())
        return false;
    // Blocks instead of single bytes give the same answer; a read that ends
    // early or fails counts as a difference.
    std::vector<char> a(kBlock);
    std::vector<char> b(kBlock);
    for (auto left = static_cast<std::int64_t>(first->Size()); left > 0;) {
        const std::int64_t want = std::min(left, kBlock);
        if (!first->ReadExactly(a.data(), want) || !second->ReadExactly(b.data(), want))
            return false;
        if (std::memcmp(a.data(), b.data(), static_cast<std::size_t>(want)) != 0)
            return false;
        left -= want;
    }
    return true;
}

} // namespace orvelle
