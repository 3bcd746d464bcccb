#pragma once

#include <cstdint>
#include <optional>

#include <QFile>
#include <QString>

namespace orvelle {

// What makes two names the same file: the device and the file number on it
// (inode, or the volume serial and file index on Windows).
struct FileId {
    std::uint64_t device = 0;
    std::uint64_t node = 0;
    friend bool operator==(const FileId&, const FileId&) = default;
};

// The identity of the file or folder a path names, following symbolic links;
// nothing when the path names nothing that can be asked.
std::optional<FileId> IdentifyFile(const QString& path);

// The identity of an open file.
std::optional<FileId> IdentifyOpenFile(const QFile& file);

} // namespace orvelle
