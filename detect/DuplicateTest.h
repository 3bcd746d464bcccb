#pragma once

#include <mutex>
#include <optional>

#include <QHash>
#include <QString>

#include "FileIdentity.h"
#include "FuzzyCompare.h"

namespace orvelle {

// The run's IsDuplicate: two different path texts go to the exact or the
// fuzzy comparison. In fuzzy mode two names of one file on disk are never
// compared (they would be found alike, and deleting the "duplicate" would
// delete the only copy); exact mode refuses such a pair with an error.
// Safe to call from several threads at once.
class DuplicateTest {
public:
    DuplicateTest(bool ExactMode, const FuzzyOptions& options);

    bool IsDuplicate(const QString& Path1, const QString& Path2) const;

private:
    bool SameFile(const QString& a, const QString& b) const;

    bool exactMode_;
    FuzzyOptions options_;
    mutable std::mutex mutex_;
    mutable QHash<QString, std::optional<FileId>> identities_;
};

} // namespace orvelle
