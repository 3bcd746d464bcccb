#pragma once

#include <memory>

#include <QString>

#include "Errors.h"
#include "IntegerText.h"

namespace orvelle {

// An INI file read once when constructed and written back in one go by
// UpdateFile(). Sections and keys match without regard to ASCII case; values
// are UTF-8 text, and a path's bytes that are not UTF-8 are kept as they are
// (NativePath.h).
class IniFile {
public:
    // Loads the file if it exists; a missing or unreadable file reads as empty.
    explicit IniFile(QString fileName);
    ~IniFile();

    IniFile(const IniFile&) = delete;
    IniFile& operator=(const IniFile&) = delete;

    const QString& FileName() const noexcept { return fileName_; }

    // At most 2047 characters of the stored value; def when the key is absent.
    QString ReadString(const QString& section, const QString& key, const QString& def) const;
    // The stored value read by ParseIniInteger; def when absent or not a number.
    int ReadInteger(const QString& section, const QString& key, int def) const;

    void WriteString(const QString& section, const QString& key, const QString& value);
    // Written in decimal.
    void WriteInteger(const QString& section, const QString& key, int value);

    // Replaces the file with the current contents; the old file stays as it was
    // when that fails. Throws EIniFileException naming FileName().
    void UpdateFile();

private:
    struct Data;

    QString fileName_;
    std::unique_ptr<Data> data_;
};

} // namespace orvelle
