#include "FileIdentity.h"

#include <QFile>

#include "NativeFiles.h"

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <sys/stat.h>
#endif

namespace orvelle {

#ifdef _WIN32

std::optional<FileId> IdentifyFile(const QString& path)
{
    // FILE_FLAG_BACKUP_SEMANTICS lets CreateFile open folders as well.
    HANDLE h = CreateFileW(reinterpret_cast<LPCWSTR>(path.utf16()), 0,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return std::nullopt;
    BY_HANDLE_FILE_INFORMATION info{};
    const BOOL ok = GetFileInformationByHandle(h, &info);
    CloseHandle(h);
    if (!ok)
        return std::nullopt;
    return FileId{info.dwVolumeSerialNumber,
                  (std::uint64_t(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
}

#else

std::optional<FileId> IdentifyFile(const QString& path)
{
    const std::optional<QByteArray> name = SystemName(path);
    struct stat st {};
    if (!name || ::stat(name->constData(), &st) != 0)
        return std::nullopt;
    return FileId{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

#endif

std::optional<FileId> IdentifyOpenFile(const QFile& file)
{
#ifdef _WIN32
    const HANDLE h = reinterpret_cast<HANDLE>(_get_osfhandle(file.handle()));
    BY_HANDLE_FILE_INFORMATION info{};
    if (h == INVALID_HANDLE_VALUE || !GetFileInformationByHandle(h, &info))
        return std::nullopt;
    return FileId{info.dwVolumeSerialNumber,
                  (std::uint64_t(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
#else
    struct stat st {};
    if (file.handle() < 0 || ::fstat(file.handle(), &st) != 0)
        return std::nullopt;
    return FileId{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
#endif
}

} // namespace orvelle
