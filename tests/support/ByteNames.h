#pragma once

// Files whose names are bytes that need not be UTF-8, made and looked at
// through the system's own calls, so that the tests of the program's
// file-system layer do not lean on that layer.

#include <algorithm>
#include <map>
#include <set>
#include <stdexcept>
#include <string>

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QString>

#include "TestSupport.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orvelle::test {

struct ByteName {
    const char* what;
    QByteArray bytes;
};

// The names every byte-name test takes through its step: what archives made
// on older systems hold, and the valid names that must not suffer for them.
inline QList<ByteName> ByteNames()
{
    return {
        {"Shift-JIS", QByteArray("b\x82\xa0.jpg")},
        {"Latin-1", QByteArray("c\xe9.jpg")},
        {"lone 0xFF", QByteArray("\xff.jpg")},
        {"line break", QByteArray("line\nbreak.jpg")},
        {"Japanese UTF-8", QByteArray("\xe6\x97\xa5\xe6\x9c\xac.jpg")}, // 日本
    };
}

// The same name for a bitmap: the names above end in ".jpg".
inline QByteArray AsBmp(QByteArray name)
{
    return name.replace(".jpg", ".bmp");
}

// What Qt's own calls make of a name: U+FFFD for each byte that is not UTF-8.
inline QString LossyText(const QByteArray& bytes)
{
    return QString::fromUtf8(bytes);
}

inline QByteArray JoinBytes(const QByteArray& folder, const QByteArray& name)
{
    return folder.endsWith('/') ? folder + name : folder + '/' + name;
}

inline void WriteRaw(const QByteArray& path, const QByteArray& content)
{
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        throw std::runtime_error("cannot create " + path.toHex().toStdString());
    const bool written =
        ::write(fd, content.constData(), std::size_t(content.size())) == ssize_t(content.size());
    if (::close(fd) != 0 || !written)
        throw std::runtime_error("cannot write " + path.toHex().toStdString());
}

inline QByteArray ReadRaw(const QByteArray& path)
{
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw std::runtime_error("cannot open " + path.toHex().toStdString());
    QByteArray content;
    char buffer[4096];
    for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;)
        content.append(buffer, n);
    ::close(fd);
    return content;
}

inline bool ExistsRaw(const QByteArray& path)
{
    struct stat st {};
    return ::lstat(path.constData(), &st) == 0;
}

inline void MakeDirRaw(const QByteArray& path)
{
    if (::mkdir(path.constData(), 0755) != 0)
        throw std::runtime_error("cannot make " + path.toHex().toStdString());
}

// The names in a folder, sorted by their bytes.
inline QList<QByteArray> ListRaw(const QByteArray& folder)
{
    QList<QByteArray> names;
    DIR* dir = ::opendir(folder.constData());
    if (!dir)
        throw std::runtime_error("cannot list " + folder.toHex().toStdString());
    while (const dirent* d = ::readdir(dir)) {
        const QByteArray name(d->d_name);
        if (name != "." && name != "..")
            names << name;
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

// Removes everything below folder, folder itself kept.
inline void EmptyRaw(const QByteArray& folder)
{
    DIR* dir = ::opendir(folder.constData());
    if (!dir)
        return;
    QList<QByteArray> names;
    while (const dirent* d = ::readdir(dir)) {
        const QByteArray name(d->d_name);
        if (name != "." && name != "..")
            names << name;
    }
    ::closedir(dir);
    for (const QByteArray& name : names) {
        const QByteArray path = JoinBytes(folder, name);
        struct stat st {};
        if (::lstat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode)) {
            ::chmod(path.constData(), 0755);
            EmptyRaw(path);
            ::rmdir(path.constData());
        } else {
            ::unlink(path.constData());
        }
    }
}

// The groups of a check's records (a group number of eight digits, then the
// path), each the set of its paths' bytes as bytesOf gives them: what a run
// found, whatever numbers it gave the groups.
template <class Records, class BytesOf>
std::set<std::set<QByteArray>> GroupsOf(const Records& records, BytesOf bytesOf)
{
    using Record = typename Records::value_type;
    std::map<Record, std::set<QByteArray>> byKey;
    for (const Record& record : records)
        byKey[record.left(8)].insert(bytesOf(record.mid(8)));
    std::set<std::set<QByteArray>> groups;
    for (const auto& [key, group] : byKey)
        groups.insert(group);
    return groups;
}

// The same for records that are bytes already.
template <class Records> std::set<std::set<QByteArray>> GroupsOf(const Records& records)
{
    return GroupsOf(records, [](const QByteArray& path) { return path; });
}

// A sandbox for names that are not UTF-8. QTemporaryDir removes its folder
// through Qt's lossy names, which reach no such file; this one empties the
// folder by the bytes first.
class ByteSandbox {
public:
    ByteSandbox() : root_(QFile::encodeName(box_.Path())) {}
    ByteSandbox(const ByteSandbox&) = delete;
    ByteSandbox& operator=(const ByteSandbox&) = delete;
    ~ByteSandbox() { EmptyRaw(root_); }

    const Sandbox& Box() const noexcept { return box_; }
    const QByteArray& Root() const noexcept { return root_; }
    QByteArray At(const QByteArray& name) const { return JoinBytes(root_, name); }

private:
    Sandbox box_;
    QByteArray root_;
};

} // namespace orvelle::test
