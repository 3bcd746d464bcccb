#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include <QString>

namespace orvelle {

// Splits files that all have one size into classes of equal bytes. Each
// file gets a class number (0, 1, … in order of first appearance); a file
// that cannot be opened or read whole gets a class of its own, as it is
// equal to nothing in a comparison byte by byte.
//
// Files are told apart by a hash of their first block, then, within a
// bucket of equal hashes, by reading them side by side and comparing the
// bytes themselves, so every class is confirmed byte for byte: users delete
// files on our word. Buckets too large to read side by side are first split
// by a hash of the whole file. Nothing when cancel was set meanwhile.
//
// reading, when given, is told each path as it is opened (for progress).
std::optional<std::vector<int>> SplitByContent(const std::vector<QString>& paths,
                                               std::uint64_t size,
                                               const std::atomic<bool>& cancel,
                                               const std::function<void(const QString&)>& reading = {});

} // namespace orvelle
