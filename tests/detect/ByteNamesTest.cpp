#include <atomic>
#include <set>

#include <gtest/gtest.h>

#include <QFile>

#include "ByteNames.h"
#include "Check.h"
#include "CompFormRules.h"
#include "Errors.h"
#include "ExpectError.h"
#include "FileExistence.h"
#include "FolderScan.h"
#include "NativePath.h"
#include "Picture.h"
#include "TestSupport.h"

using orvelle::PathFromNative;
using orvelle::PathToNative;
using orvelle::test::AsBmp;
using orvelle::test::ByteName;
using orvelle::test::ByteNames;
using orvelle::test::GroupsOf;
using orvelle::test::JoinBytes;
using orvelle::test::LossyText;
using orvelle::test::WriteRaw;

namespace {

using Group = std::set<QByteArray>;

orvelle::ExtensionItems Patterns()
{
    return {{QStringLiteral("*.jpg"), true}, {QStringLiteral("*.bmp"), true}};
}

unsigned Scene(int x, int y)
{
    return unsigned(x * 20) << 16 | unsigned(y * 30) << 8 | unsigned((x + y) * 9);
}

// Stripes of a slope and width of their own for each k: no two alike.
unsigned Stripes(int k, int x, int y)
{
    return (x * (k + 1) + y * (2 * k + 1)) % (k + 3) < 2 ? 0xF0E0D0u : 0x102030u;
}

// A folder as archives from older systems leave it: every byte name holds
// what an ASCII-named file beside it holds, and the Shift-JIS and Latin-1
// names hold the same as each other besides; a sub-folder with such a name
// holds one more pair.
struct Archive {
    orvelle::test::ByteSandbox box;
    QByteArray root = box.Root();
    std::set<Group> pairs;

    Archive()
    {
        int k = 0;
        for (const ByteName& name : ByteNames()) {
            const QByteArray content = "picture " + QByteArray::number(k);
            const QByteArray twin = At("twin" + QByteArray::number(k++) + ".jpg");
            WriteRaw(At(name.bytes), content);
            WriteRaw(twin, content);
            pairs.insert({At(name.bytes), twin});
        }
        WriteRaw(At("sjis \x82\xa0.jpg"), "same old");
        WriteRaw(At("latin \xe9.jpg"), "same old");
        pairs.insert({At("sjis \x82\xa0.jpg"), At("latin \xe9.jpg")});
        orvelle::test::MakeDirRaw(At("sub \x82\xa0"));
        WriteRaw(At("sub \x82\xa0/\xff\xfe.jpg"), "deep");
        WriteRaw(At("sub \x82\xa0/deep.jpg"), "deep");
        pairs.insert({At("sub \x82\xa0/\xff\xfe.jpg"), At("sub \x82\xa0/deep.jpg")});
        WriteRaw(At("alone.jpg"), "no match");
        WriteRaw(At("notes \xe9.txt"), "picture 0"); // not a ticked pattern
    }
    QByteArray At(const QByteArray& name) const { return box.At(name); }
    QString Folder() const { return PathFromNative(root); }
};

} // namespace

TEST(ByteNames, TheFolderScanFindsEveryNameByItsBytes)
{
    const Archive a;
    const QStringList found = orvelle::ScanFolder(a.Folder(), Patterns());
    std::set<QByteArray> bytes;
    for (const QString& path : found)
        bytes.insert(PathToNative(path));
    std::set<QByteArray> expected{a.At("alone.jpg")};
    for (const Group& pair : a.pairs)
        expected.insert(pair.begin(), pair.end());
    EXPECT_EQ(bytes, expected);
    EXPECT_EQ(found.size(), qsizetype(expected.size()));

    // Given by its bytes, a folder whose name is not UTF-8 is walked too.
    const QStringList deep = orvelle::ScanFolder(PathFromNative(a.At("sub \x82\xa0")), Patterns());
    EXPECT_EQ(deep.size(), 2);
    // Its lossy name names nothing.
    EXPECT_TRUE(orvelle::ScanFolder(LossyText(a.At("sub \x82\xa0")), Patterns()).isEmpty());
}

TEST(ByteNames, TheExactCheckPairsEachNameWithItsCopy)
{
    const Archive a;
    const std::atomic<bool> cancel{false};
    for (const int threads : {1, 3}) {
        const orvelle::CheckResult result =
            orvelle::RunCheck(orvelle::ScanFolder(a.Folder(), Patterns()), {}, cancel, {}, threads);
        ASSERT_EQ(result.outcome, orvelle::CheckOutcome::Finished) << threads;
        EXPECT_EQ(GroupsOf(result.MatchList, PathToNative), a.pairs) << threads;
        ASSERT_EQ(result.remaining.size(), qsizetype(a.pairs.size() + 1));
    }
}

TEST(ByteNames, TheFuzzyCheckPairsEachNameWithItsCopy)
{
    orvelle::test::EnsureGuiApplication();
    const orvelle::test::ByteSandbox box;
    const QByteArray root = box.Root();
    std::set<Group> pairs;
    QStringList files;
    int k = 0;
    for (const ByteName& name : ByteNames()) {
        // A picture of its own for each name, and a copy with one pixel
        // changed: alike, but not the same bytes.
        const auto colour = [k](int x, int y) { return Stripes(k, x, y); };
        const QByteArray path = JoinBytes(root, AsBmp(name.bytes));
        const QByteArray copy = JoinBytes(root, "copy" + QByteArray::number(k++) + ".bmp");
        WriteRaw(path, orvelle::test::Bmp24(8, 6, colour));
        WriteRaw(copy, orvelle::test::Bmp24(8, 6, [&](int x, int y) {
                     return x == 3 && y == 2 ? 0x808080u : colour(x, y);
                 }));
        pairs.insert({path, copy});
        files << PathFromNative(path) << PathFromNative(copy);
    }
    const std::atomic<bool> cancel{false};
    orvelle::CheckOptions options;
    options.ExactMode = false;
    const orvelle::CheckResult result = orvelle::RunCheck(files, options, cancel, {}, 2);
    ASSERT_EQ(result.outcome, orvelle::CheckOutcome::Finished);
    EXPECT_EQ(GroupsOf(result.MatchList, PathToNative), pairs);
}

TEST(ByteNames, AFileThatStopsTheRunIsNamedAsItShows)
{
    const Archive a;
    const QByteArray missing = a.At("gone \x82\xa0.jpg");
    const std::atomic<bool> cancel{false};
    const orvelle::CheckResult result = orvelle::RunCheck(
        {PathFromNative(a.At(ByteNames().front().bytes)), PathFromNative(missing)}, {}, cancel);
    ASSERT_EQ(result.outcome, orvelle::CheckOutcome::Failed);
    orvelle::test::ExpectError<EFOpenError>(
        [&] { std::rethrow_exception(result.error); },
        QStringLiteral("ファイル %1 は開けません").arg(LossyText(missing)));
}

TEST(ByteNames, TheDetailsOfAShownFileComeFromThatFile)
{
    orvelle::test::EnsureGuiApplication();
    const Archive a;
    for (const ByteName& name : ByteNames()) {
        SCOPED_TRACE(name.what);
        const QByteArray bytes = JoinBytes(a.root, AsBmp(name.bytes));
        WriteRaw(bytes, orvelle::test::Bmp24(5, 3, Scene));
        // A decoy under the name a lossy decoding would reach.
        if (LossyText(bytes).toUtf8() != bytes)
            WriteRaw(LossyText(bytes).toUtf8(), orvelle::test::Bmp24(9, 9, Scene));
        const QString path = PathFromNative(bytes);

        EXPECT_TRUE(orvelle::FileExists(path));
        EXPECT_EQ(orvelle::SizeOfFile(path), double(orvelle::test::Bmp24(5, 3, Scene).size()));
        EXPECT_EQ(orvelle::NameLine(path), QStringLiteral("ﾌｧｲﾙ名：") + LossyText(bytes));
        TPicture picture;
        picture.LoadFile(path);
        EXPECT_EQ(picture.Width(), 5);
        EXPECT_EQ(picture.Height(), 3);
    }
    const QString gone = PathFromNative(a.At("gone\xe9.bmp"));
    EXPECT_FALSE(orvelle::FileExists(gone));
    TPicture picture;
    orvelle::test::ExpectError<EFOpenError>(
        [&] { picture.LoadFile(gone); },
        QStringLiteral("ファイル %1 は開けません").arg(LossyText(a.At("gone\xe9.bmp"))));
}
