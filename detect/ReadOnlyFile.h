#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include <QString>

#include "FileIdentity.h"

namespace orvelle {

// An existing regular file opened for reading, closed when it goes. Folders,
// devices, pipes and sockets are refused like a missing file: a comparison
// that opened a pipe would wait for a writer that never comes.
class ReadOnlyFile {
public:
    static std::optional<ReadOnlyFile> Open(const QString& path);

    ReadOnlyFile(ReadOnlyFile&& other) noexcept;
    ReadOnlyFile& operator=(ReadOnlyFile&& other) noexcept;
    ReadOnlyFile(const ReadOnlyFile&) = delete;
    ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;
    ~ReadOnlyFile();

    std::uint64_t Size() const noexcept { return size_; }
    const FileId& Id() const noexcept { return id_; }

    // Reads exactly bytes from the current position, short reads repeated;
    // false when the file fails or ends first.
    bool ReadExactly(void* into, std::int64_t bytes);

private:
    ReadOnlyFile() = default;
    void Close() noexcept;

#ifdef _WIN32
    std::unique_ptr<class QFile> file_;
#else
    int fd_ = -1;
#endif
    std::uint64_t size_ = 0;
    FileId id_{};
};

} // namespace orvelle
