#include "DuplicateTest.h"

#include "ExactCompare.h"

namespace orvelle {

DuplicateTest::DuplicateTest(bool ExactMode, const FuzzyOptions& options)
    : exactMode_(ExactMode), options_(options)
{
}

bool DuplicateTest::SameFile(const QString& a, const QString& b) const
{
    const std::lock_guard lock(mutex_);
    const auto identity = [this](const QString& path) {
        auto it = identities_.find(path);
        if (it == identities_.end())
            it = identities_.insert(path, IdentifyFile(path));
        return *it;
    };
    const std::optional<FileId> first = identity(a);
    return first && first == identity(b);
}

bool DuplicateTest::IsDuplicate(const QString& Path1, const QString& Path2) const
{
    if (Path1 == Path2)
        return false;
    if (exactMode_)
        return FilesIdentical(Path1, Path2);
    if (SameFile(Path1, Path2))
        return false;
    return ImagesSimilar(Path1, Path2, options_);
}

} // namespace orvelle
