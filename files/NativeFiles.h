#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QString>

#include "FileIdentity.h"

class QFile;

namespace orvelle {

// The file-system calls of the program, taking paths in the form NativePath.h
// describes. On Unix they pass the name's own bytes to the system, since
// QFile, QFileInfo, QDir and QSaveFile take only what Qt can decode; on
// Windows they use Qt's calls, names being UTF-16 there as the system's are.

enum class EntryKind { File, Folder, Link, Other };

struct FileStatus {
    // File (a regular file), Folder or Other (pipe, socket, device); never
    // Link, as links are followed.
    EntryKind kind = EntryKind::Other;
    std::uint64_t size = 0;
    // Local time, to the millisecond.
    QDateTime lastWrite;
    FileId id;
};

// What the path names, following symbolic links; nothing when it names
// nothing (a dangling link included) or cannot be asked.
std::optional<FileStatus> StatusOf(const QString& path);

bool PathExists(const QString& path);
bool IsFolder(const QString& path);
// A regular file, or a link to one.
bool IsFile(const QString& path);
// Whether anything has this name, a dangling link included.
bool EntryExists(const QString& path);

enum class Readable {
    // A regular file, or a link to one: a pipe or a device is refused
    // without waiting for a writer.
    FilesOnly,
    // Anything but a folder, a pipe included (a list handed over as
    // "<(command)"); opening a pipe waits for its writer.
    PipesToo,
};

// The file opened for reading; nothing for a missing one or one of a kind
// not asked for.
std::unique_ptr<QFile> OpenForReading(const QString& path, Readable kinds = Readable::FilesOnly);

// The file created, or emptied when it exists, and opened for writing; nothing
// when that fails. Writes where the path leads: a link's target, a device.
std::unique_ptr<QFile> OpenForWriting(const QString& path);

// Removes the file (not a folder); false when it could not be removed.
bool RemoveFile(const QString& path);

struct FolderEntry {
    QString name;
    // As the entry itself is: a link is Link, whatever it leads to.
    EntryKind kind = EntryKind::Other;
};

struct FolderListing {
    bool opened = false;
    // The folder's own identity, when it could be had.
    std::optional<FileId> id;
    // In the order the file system gives them, without "." and "..".
    std::vector<FolderEntry> entries;
};

// The entries of a folder, read in one go.
FolderListing ListFolder(const QString& path);

enum class WriteOutcome {
    Written,
    NotCreated,  // no file could be made (missing folder, a folder of that name, no rights)
    NotWritten,  // writing the bytes or flushing them to the disk failed
    NotReplaced, // the finished file could not be moved over the old one
};

enum class DirectWrite {
    Never,
    // Where the folder allows no new file but the file itself may be
    // written, or the file has other names (hard links) that must keep
    // seeing it, it is rewritten in place, giving up the protection.
    WhenNoTemporaryFile,
};

// Replaces the file with exactly these bytes: written beside it and moved
// over it once complete, so a crash or a full disk leaves the old file as it
// was and no part of the new one. A link keeps being a link and its target
// gets the bytes; an existing file keeps its permissions. Where a file of that
// name exists and may not be written, or a folder has the name, nothing is
// written.
WriteOutcome WriteWholeFile(const QString& path, QByteArrayView bytes, DirectWrite fallback);

// The path a name shown by Qt's file dialog stands for. The dialog lists
// names lossily (U+FFFD for each byte that is not UTF-8), so an answer that
// names nothing is matched, one component after the other, against the real
// entries of its folder whose shown text equals it; a component is taken
// when exactly one entry matches, and the rest is kept as shown from the
// first one that matches none or several (a new name to save under, say).
QString ResolveShownPath(const QString& shown);

#ifndef _WIN32
// The bytes to hand the system for a path; nothing for one that holds a zero
// byte, which no name can and which would end the name early.
std::optional<QByteArray> SystemName(const QString& path);
#endif

// True where new entries may be made in the folder: it exists, the user may
// write and enter it, and it is not on a read-only file system.
bool FolderWritable(const QString& path);

// Makes the folder and the missing folders above it; true when it exists
// afterwards.
bool MakeFolders(const QString& path);

// The current folder, by its bytes.
QString CurrentFolder();

// The running program's own path. Needs the application object on platforms
// other than Linux.
QString ExecutablePath();

} // namespace orvelle
