#pragma once

#include <memory>
#include <vector>

#include <QString>

#include "Graphic.h"

namespace orvelle {

// One picture format: its extension (lower case, no dot), its description
// and how to make an empty graphic of its kind.
struct FormatEntry {
    QString extension;
    QString description;
    std::unique_ptr<TGraphic> (*create)();
};

// The picture formats, filled once on first use and never changed after.
class FormatRegistry {
public:
    static const FormatRegistry& Instance();

    const std::vector<FormatEntry>& Entries() const noexcept { return entries_; }
    // The entry for an extension as written (no dot), lower-cased first and
    // looked up from the last registered entry to the first; null if none.
    const FormatEntry* Find(const QString& extension) const;

private:
    FormatRegistry();
    std::vector<FormatEntry> entries_;
};

} // namespace orvelle
