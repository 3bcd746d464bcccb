#include <algorithm>
#include <climits>
#include <filesystem>
#include <memory>
#include <string>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QThread>

#include "FolderScan.h"
#include "TestSupport.h"

namespace orvelle {
namespace {

using namespace Qt::StringLiterals;
namespace fs = std::filesystem;

std::string Utf8(const QString& text)
{
    return text.toStdString();
}

ExtensionItems JpgAndBmp()
{
    return {{u"*.jpg"_s, true}, {u"*.BMP"_s, true}, {u"*.txt"_s, false}};
}

fs::path FsPath(const QString& path)
{
    return fs::path(QFile::encodeName(path).toStdString());
}

bool EndsWithNoCase(const std::string& name, const std::string& suffix)
{
    if (name.size() < suffix.size())
        return false;
    for (std::size_t i = 0; i < suffix.size(); ++i) {
        char c = name[name.size() - suffix.size() + i];
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
        if (c != suffix[i])
            return false;
    }
    return true;
}

// What a depth-first walk must give for JpgAndBmp(), worked out with
// std::filesystem instead of QDir, recursively, in the order the directory
// hands out its entries.
void ExpectedWalk(const fs::path& dir, QStringList& out)
{
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        const fs::directory_entry& entry = *it;
        if (entry.is_symlink())
            continue;
        const std::string name = entry.path().filename().string();
        if (entry.is_directory())
            ExpectedWalk(entry.path(), out);
        else if (entry.is_regular_file() &&
                 (EndsWithNoCase(name, ".jpg") || EndsWithNoCase(name, ".bmp")))
            out << QFile::decodeName(entry.path().c_str());
    }
}

QStringList Expected(const QString& root)
{
    QStringList out;
    ExpectedWalk(FsPath(root), out);
    return out;
}

void Symlink(const QString& target, const QString& link)
{
    ASSERT_EQ(::symlink(QFile::encodeName(target).constData(), QFile::encodeName(link).constData()),
              0)
        << Utf8(link);
}

TEST(FolderScanTest, WalksDepthFirstInDirectoryOrder)
{
    const test::Sandbox box;
    for (const QString& name : {u"a.jpg"_s,
                                u"b.bmp"_s,
                                u"c.txt"_s,
                                u"UPPER.JPG"_s,
                                u"lower.Bmp"_s,
                                u"noext"_s,
                                u"name."_s,
                                u"jpg"_s,
                                u"x.jpeg"_s,
                                u".hidden.jpg"_s,
                                u".jpg"_s,
                                u"sub1/x.jpg"_s,
                                u"sub1/deeper/y.jpg"_s,
                                u"sub1/deeper/z.JPG"_s,
                                u"sub1/deeper/skip.gif"_s,
                                u"sub1/w.bmp"_s,
                                u"sub2/q.bmp"_s,
                                u"holiday.jpg/inside.jpg"_s,
                                u".hiddendir/h.jpg"_s,
                                u"写真フォルダ/休日.JPG"_s,
                                u"写真フォルダ/表.bmp"_s,
                                u"写真フォルダ/資料.txt"_s,
                                u"m/n/o/p/q.jpg"_s,
                                u"m/r.jpg"_s})
        box.WriteFile(name, "x");
    box.MakeDir(u"empty"_s);
    box.MakeDir(u"emptyname.jpg"_s);

    const QStringList found = ScanFolder(box.Path(), JpgAndBmp());
    EXPECT_EQ(Utf8(found.join(u'\n')), Utf8(Expected(box.Path()).join(u'\n')));

    const QSet<QString> set(found.begin(), found.end());
    EXPECT_EQ(set.size(), found.size());
    for (const QString& name :
         {u"a.jpg"_s, u"b.bmp"_s, u"UPPER.JPG"_s, u"lower.Bmp"_s, u".hidden.jpg"_s, u".jpg"_s,
          u"holiday.jpg/inside.jpg"_s, u".hiddendir/h.jpg"_s, u"写真フォルダ/休日.JPG"_s,
          u"写真フォルダ/表.bmp"_s, u"sub1/deeper/z.JPG"_s, u"m/n/o/p/q.jpg"_s})
        EXPECT_TRUE(set.contains(box(name))) << Utf8(name);
    for (const QString& name :
         {u"c.txt"_s, u"noext"_s, u"name."_s, u"jpg"_s, u"x.jpeg"_s, u"holiday.jpg"_s,
          u"emptyname.jpg"_s, u"empty"_s, u"sub1/deeper/skip.gif"_s, u"写真フォルダ/資料.txt"_s})
        EXPECT_FALSE(set.contains(box(name))) << Utf8(name);
    EXPECT_EQ(found.size(), 17);

    // Whatever order the directory gives, the files below one folder form one
    // unbroken run: a sub-tree is finished before its parent goes on.
    for (const QString& folder :
         {u"sub1"_s, u"sub1/deeper"_s, u"m"_s, u"m/n"_s, u"写真フォルダ"_s}) {
        const QString prefix = box(folder) + u'/';
        qsizetype first = -1;
        qsizetype last = -1;
        qsizetype count = 0;
        for (qsizetype i = 0; i < found.size(); ++i) {
            if (found.at(i).startsWith(prefix)) {
                if (first < 0)
                    first = i;
                last = i;
                ++count;
            }
        }
        EXPECT_EQ(last - first + 1, count) << Utf8(folder);
    }
}

TEST(FolderScanTest, TrailingSeparatorAndRepeatedScans)
{
    const test::Sandbox box;
    box.WriteFile(u"a.jpg"_s);
    box.WriteFile(u"s/t/b.bmp"_s);

    const QStringList plain = ScanFolder(box.Path(), JpgAndBmp());
    ASSERT_EQ(plain.size(), 2);
    EXPECT_EQ(Utf8(ScanFolder(box.Path(), JpgAndBmp()).join(u'\n')), Utf8(plain.join(u'\n')));

    const QStringList slashed = ScanFolder(box.Path() + u'/', JpgAndBmp());
    EXPECT_EQ(Utf8(slashed.join(u'\n')), Utf8(plain.join(u'\n')));
    for (const QString& path : slashed)
        EXPECT_FALSE(path.contains(u"//"_s)) << Utf8(path);
}

TEST(FolderScanTest, NothingToScanGivesNothing)
{
    const test::Sandbox box;
    box.MakeDir(u"empty"_s);
    box.WriteFile(u"full/a.jpg"_s);
    box.WriteFile(u"full/sub/b.bmp"_s);

    EXPECT_TRUE(ScanFolder(box(u"empty"_s), JpgAndBmp()).isEmpty());
    EXPECT_TRUE(ScanFolder(box(u"missing"_s), JpgAndBmp()).isEmpty());
    EXPECT_TRUE(ScanFolder(QString(), JpgAndBmp()).isEmpty());
    EXPECT_TRUE(ScanFolder(box(u"full/a.jpg"_s), JpgAndBmp()).isEmpty());

    ExtensionItems unticked = JpgAndBmp();
    for (ExtensionItem& item : unticked)
        item.ticked = false;
    EXPECT_TRUE(ScanFolder(box(u"full"_s), unticked).isEmpty());
    EXPECT_TRUE(ScanFolder(box(u"full"_s), {}).isEmpty());
}

TEST(FolderScanTest, ACancelledScanEntersNoFurtherFolder)
{
    const test::Sandbox box;
    box.WriteFile(u"top.jpg"_s);
    box.WriteFile(u"s/deep.jpg"_s);
    box.WriteFile(u"t/u/deeper.bmp"_s);
    const std::atomic<bool> cancel{true};
    const QStringList found = ScanFolder(box.Path(), JpgAndBmp(), &cancel);
    EXPECT_LE(found.size(), 1);
    for (const QString& path : found)
        EXPECT_TRUE(path.endsWith(u"/top.jpg"_s)) << Utf8(path);
    const std::atomic<bool> goOn{false};
    EXPECT_EQ(ScanFolder(box.Path(), JpgAndBmp(), &goOn).size(), 3);
}

TEST(FolderScanTest, LinksAreNeitherFollowedNorListed)
{
    const test::Sandbox box;
    const test::Sandbox outside;
    box.WriteFile(u"a/x.jpg"_s);
    box.WriteFile(u"a/b/y.jpg"_s);
    outside.WriteFile(u"o.jpg"_s);
    Symlink(u"../.."_s, box(u"a/b/loop"_s)); // back to the scanned folder
    Symlink(u"."_s, box(u"a/b/self"_s));
    Symlink(box(u"a"_s), box(u"again"_s));     // a second way into the tree
    Symlink(outside.Path(), box(u"a/out"_s));  // a way out of it
    Symlink(u"x.jpg"_s, box(u"a/link.jpg"_s)); // a second name for a file
    Symlink(u"missing.jpg"_s, box(u"a/broken.jpg"_s));
    Symlink(u"loop.jpg"_s, box(u"a/loop.jpg"_s)); // a link to itself

    const QStringList found = ScanFolder(box.Path(), JpgAndBmp());
    QStringList sorted = found;
    sorted.sort();
    const QStringList expected{box(u"a/b/y.jpg"_s), box(u"a/x.jpg"_s)};
    EXPECT_EQ(Utf8(sorted.join(u'\n')), Utf8(expected.join(u'\n')));
}

TEST(FolderScanTest, ScanThroughALinkedStartFolder)
{
    // The user may pick a folder through a link; the walk starts there and
    // builds its paths on the name it was given.
    const test::Sandbox box;
    box.WriteFile(u"real/a.jpg"_s);
    Symlink(box(u"real"_s), box(u"alias"_s));
    EXPECT_EQ(Utf8(ScanFolder(box(u"alias"_s), JpgAndBmp()).join(u'\n')),
              Utf8(box(u"alias/a.jpg"_s)));
}

TEST(FolderScanTest, PipesAndSocketsArePassedOver)
{
    const test::Sandbox box;
    box.WriteFile(u"r.jpg"_s);
    box.MakeDir(u"sub"_s);
    // Opening a pipe for reading would wait for a writer for ever, so a pipe
    // in the list would hang a later check.
    ASSERT_EQ(::mkfifo(QFile::encodeName(box(u"x.jpg"_s)).constData(), 0644), 0);
    ASSERT_EQ(::mkfifo(QFile::encodeName(box(u"sub/x.bmp"_s)).constData(), 0644), 0);

    const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(sock, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray socketPath = QFile::encodeName(box(u"sub/s.jpg"_s));
    ASSERT_LT(std::size_t(socketPath.size()), sizeof(address.sun_path));
    std::copy(socketPath.begin(), socketPath.end(), address.sun_path);
    const int bound = ::bind(sock, reinterpret_cast<const sockaddr*>(&address), sizeof(address));
    ::close(sock);
    ASSERT_EQ(bound, 0);

    EXPECT_EQ(Utf8(ScanFolder(box.Path(), JpgAndBmp()).join(u'\n')), Utf8(box(u"r.jpg"_s)));
}

// Permissions change back when the test ends, so that the sandbox can go.
class ModeGuard {
public:
    ModeGuard(const QString& path, mode_t mode) : path_(QFile::encodeName(path))
    {
        ok_ = ::chmod(path_.constData(), mode) == 0;
    }
    ~ModeGuard() { ::chmod(path_.constData(), 0755); }
    ModeGuard(const ModeGuard&) = delete;
    ModeGuard& operator=(const ModeGuard&) = delete;
    bool ok() const { return ok_; }

private:
    QByteArray path_;
    bool ok_ = false;
};

TEST(FolderScanTest, ReadOnlyFoldersAreEnteredUnreadableOnesSkipped)
{
    const test::Sandbox box;
    box.WriteFile(u"a/first.jpg"_s);
    box.WriteFile(u"b/locked.jpg"_s);
    box.WriteFile(u"c/readonly.jpg"_s);
    box.WriteFile(u"d/last.jpg"_s);
    const ModeGuard readOnly(box(u"c"_s), 0555);
    ASSERT_TRUE(readOnly.ok());
    const ModeGuard locked(box(u"b"_s), 0);
    ASSERT_TRUE(locked.ok());

    QStringList found = ScanFolder(box.Path(), JpgAndBmp());
    found.sort();
    QStringList expected{box(u"a/first.jpg"_s), box(u"c/readonly.jpg"_s), box(u"d/last.jpg"_s)};
    // Permissions do not stop the superuser, so there the locked folder is
    // read like any other.
    if (::geteuid() == 0)
        expected << box(u"b/locked.jpg"_s);
    expected.sort();
    EXPECT_EQ(Utf8(found.join(u'\n')), Utf8(expected.join(u'\n')));
}

// A chain of folders "d/d/d/..." below root, each holding f.jpg, made and
// removed through directory handles: the deepest paths are longer than any
// path the system takes in one piece.
class DeepTree {
public:
    DeepTree(const QString& root, int depth) : depth_(depth)
    {
        fd_ = ::open(QFile::encodeName(root).constData(), O_RDONLY | O_DIRECTORY);
        for (int level = 0; fd_ >= 0; ++level) {
            const int file = ::openat(fd_, "f.jpg", O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (file < 0)
                return;
            ::close(file);
            if (level == depth_) {
                complete_ = true;
                return;
            }
            if (::mkdirat(fd_, "d", 0755) != 0)
                return;
            const int child = ::openat(fd_, "d", O_RDONLY | O_DIRECTORY);
            if (child < 0)
                return;
            ::close(fd_);
            fd_ = child;
            made_ = level + 1;
        }
    }

    ~DeepTree()
    {
        if (fd_ < 0)
            return;
        ::unlinkat(fd_, "f.jpg", 0);
        for (int level = made_; level > 0; --level) {
            const int parent = ::openat(fd_, "..", O_RDONLY | O_DIRECTORY);
            ::close(fd_);
            fd_ = parent;
            if (fd_ < 0)
                return;
            ::unlinkat(fd_, "d", AT_REMOVEDIR);
            ::unlinkat(fd_, "f.jpg", 0);
        }
        ::close(fd_);
    }

    DeepTree(const DeepTree&) = delete;
    DeepTree& operator=(const DeepTree&) = delete;

    bool complete() const { return complete_; }

private:
    int depth_;
    int fd_ = -1;
    int made_ = 0;
    bool complete_ = false;
};

TEST(FolderScanTest, VeryDeepTreeIsScannedOnASmallStack)
{
    const test::Sandbox box;
    constexpr int kDepth = 3000;
    const DeepTree tree(box.Path(), kDepth);
    ASSERT_TRUE(tree.complete());

    // A walk that recursed once per level would overrun this stack long
    // before the bottom.
    QStringList found;
    const std::unique_ptr<QThread> worker(
        QThread::create([&found, &box] { found = ScanFolder(box.Path(), JpgAndBmp()); }));
    worker->setStackSize(256 * 1024);
    worker->start();
    ASSERT_TRUE(worker->wait());

    // The system opens no folder by a path of PATH_MAX bytes or more, so the
    // walk cannot read below that depth; every file above it must be there,
    // each once, and nothing that does not exist.
    QStringList all;
    QString folder = box.Path();
    for (int level = 0; level <= kDepth; ++level) {
        all << folder + u"/f.jpg"_s;
        folder += u"/d"_s;
    }
    const QSet<QString> foundSet(found.begin(), found.end());
    EXPECT_EQ(foundSet.size(), found.size());
    const QSet<QString> allSet(all.begin(), all.end());
    EXPECT_TRUE(allSet.contains(foundSet));
    int reachable = 0;
    for (const QString& path : all) {
        if (QFile::encodeName(path).size() >= PATH_MAX)
            break;
        ++reachable;
        EXPECT_TRUE(foundSet.contains(path)) << "depth " << reachable - 1;
    }
    EXPECT_GT(reachable, 1500);
}

} // namespace
} // namespace orvelle
