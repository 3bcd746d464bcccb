#include "ReadOnlyFile.h"

#include <utility>

#include <QFile>

#include "NativeFiles.h"

#ifndef _WIN32
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace orvelle {

#ifdef _WIN32

std::optional<ReadOnlyFile> ReadOnlyFile::Open(const QString& path)
{
    ReadOnlyFile opened;
    opened.file_ = OpenForReading(path);
    if (!opened.file_)
        return std::nullopt;
    const std::optional<FileId> id = IdentifyOpenFile(*opened.file_);
    if (!id)
        return std::nullopt;
    opened.id_ = *id;
    opened.size_ = static_cast<std::uint64_t>(opened.file_->size());
    return opened;
}

bool ReadOnlyFile::ReadExactly(void* into, std::int64_t bytes)
{
    return file_ && file_->read(static_cast<char*>(into), bytes) == bytes;
}

void ReadOnlyFile::Close() noexcept
{
    file_.reset();
}

ReadOnlyFile::ReadOnlyFile(ReadOnlyFile&& other) noexcept
    : file_(std::move(other.file_)), size_(other.size_), id_(other.id_)
{
}

ReadOnlyFile& ReadOnlyFile::operator=(ReadOnlyFile&& other) noexcept
{
    file_ = std::move(other.file_);
    size_ = other.size_;
    id_ = other.id_;
    return *this;
}

#else

std::optional<ReadOnlyFile> ReadOnlyFile::Open(const QString& path)
{
    const std::optional<QByteArray> name = SystemName(path);
    if (!name || name->isEmpty())
        return std::nullopt;
    // Non-blocking, so that opening a pipe returns at once and is refused
    // below rather than waiting for a writer.
    const int fd = ::open(name->constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return std::nullopt;
    ReadOnlyFile opened;
    opened.fd_ = fd;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    opened.size_ = static_cast<std::uint64_t>(st.st_size);
    opened.id_ = {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
    return opened;
}

bool ReadOnlyFile::ReadExactly(void* into, std::int64_t bytes)
{
    auto* to = static_cast<char*>(into);
    while (bytes > 0) {
        const ssize_t got = ::read(fd_, to, static_cast<std::size_t>(bytes));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        to += got;
        bytes -= got;
    }
    return true;
}

void ReadOnlyFile::Close() noexcept
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

ReadOnlyFile::ReadOnlyFile(ReadOnlyFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), size_(other.size_), id_(other.id_)
{
}

ReadOnlyFile& ReadOnlyFile::operator=(ReadOnlyFile&& other) noexcept
{
    if (this != &other) {
        Close();
        fd_ = std::exchange(other.fd_, -1);
        size_ = other.size_;
        id_ = other.id_;
    }
    return *this;
}

#endif

ReadOnlyFile::~ReadOnlyFile()
{
    Close();
}

} // namespace orvelle
