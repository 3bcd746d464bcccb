#pragma once

#include <QString>

namespace orvelle::test {

// A folder no one may write to while this lives: by its permission bits
// for an ordinary user, and for root, whom those do not stop, as a
// read-only bind mount of itself. Ok() is false where neither can be had
// (root without the right to mount), and a test then skips.
class ReadOnlyFolder {
public:
    explicit ReadOnlyFolder(QString path);
    ~ReadOnlyFolder();
    ReadOnlyFolder(const ReadOnlyFolder&) = delete;
    ReadOnlyFolder& operator=(const ReadOnlyFolder&) = delete;

    bool Ok() const noexcept { return ok_; }

private:
    QString path_;
    bool mounted_ = false;
    bool ok_ = false;
};

} // namespace orvelle::test
