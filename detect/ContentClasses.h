#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include <QString>

namespace orvelle {

class ReadOnlyFile;

// The hash of a file's first block (the whole file when it is no longer),
// taken when the file is first opened, so that files of one size are told
// apart without being opened again.
constexpr std::int64_t kSampleBytes = 16 * 1024;
struct ContentSample {
    std::uint64_t high = 0;
    std::uint64_t low = 0;
    bool read = false; // false: the file failed before its first block was read
    friend bool operator==(const ContentSample&, const ContentSample&) = default;
};
ContentSample SampleOf(ReadOnlyFile& file);

// Splits files that all have one size into classes of equal bytes. Each
// file gets a class number (0, 1, … in order of first appearance); a file
// that cannot be opened or read whole gets a class of its own, as it is
// equal to nothing in a comparison byte by byte.
//
// Files are told apart by their samples (taken here when none are given),
// then, within a
// bucket of equal hashes, by reading them side by side and comparing the
// bytes themselves, so every class is confirmed byte for byte: users delete
// files on our word. Buckets too large to read side by side are first split
// by a hash of the whole file. Nothing when cancel was set meanwhile.
//
// reading, when given, is told each path as it is opened (for progress).
std::optional<std::vector<int>> SplitByContent(const std::vector<QString>& paths,
                                               std::uint64_t size,
                                               std::vector<ContentSample> samples,
                                               const std::atomic<bool>& cancel,
                                               const std::function<void(const QString&)>& reading = {});

} // namespace orvelle
