#include <algorithm>
#include <memory>

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QFile>

#include "ByteNames.h"
#include "FileIdentity.h"
#include "NativeFiles.h"
#include "NativePath.h"
#include "TestSupport.h"

using orvelle::PathFromNative;
using orvelle::PathToNative;
using orvelle::test::ByteName;
using orvelle::test::ByteNames;
using orvelle::test::ExistsRaw;
using orvelle::test::JoinBytes;
using orvelle::test::LossyText;
using orvelle::test::ReadRaw;
using orvelle::test::WriteRaw;

namespace {

// A sandbox with every byte name as a file holding its own name, and beside
// each one the file a lossy decoding would reach instead: the name Qt makes
// of it, spelt with real U+FFFD characters.
struct Folder {
    orvelle::test::ByteSandbox box;
    QByteArray root = box.Root();

    Folder()
    {
        for (const ByteName& name : ByteNames()) {
            WriteRaw(At(name.bytes), "real " + name.bytes);
            if (LossyText(name.bytes).toUtf8() != name.bytes)
                WriteRaw(At(LossyText(name.bytes).toUtf8()), "lossy twin");
        }
    }
    QByteArray At(const QByteArray& name) const { return box.At(name); }
    QString Path(const QByteArray& name) const { return PathFromNative(At(name)); }
};

std::uint64_t Inode(const QByteArray& path)
{
    struct stat st {};
    return ::stat(path.constData(), &st) == 0 ? st.st_ino : 0;
}

} // namespace

TEST(NativeFiles, EachNameReachesItsOwnFile)
{
    const Folder f;
    for (const ByteName& name : ByteNames()) {
        const QString path = f.Path(name.bytes);
        SCOPED_TRACE(name.what);
        const std::optional<orvelle::FileStatus> status = orvelle::StatusOf(path);
        ASSERT_TRUE(status);
        EXPECT_EQ(status->kind, orvelle::EntryKind::File);
        EXPECT_EQ(status->size, std::uint64_t(5 + name.bytes.size()));
        EXPECT_EQ(status->id.node, Inode(f.At(name.bytes)));
        EXPECT_EQ(orvelle::IdentifyFile(path)->node, Inode(f.At(name.bytes)));
        EXPECT_TRUE(orvelle::PathExists(path));
        EXPECT_TRUE(orvelle::IsFile(path));
        EXPECT_FALSE(orvelle::IsFolder(path));
        EXPECT_TRUE(orvelle::EntryExists(path));

        const std::unique_ptr<QFile> file = orvelle::OpenForReading(path);
        ASSERT_TRUE(file);
        EXPECT_EQ(file->readAll(), "real " + name.bytes);
    }
}

TEST(NativeFiles, TheLastWriteTimeIsTheSystemsToTheMillisecond)
{
    const Folder f;
    const QByteArray name = f.At(ByteNames().front().bytes);
    const timespec times[2] = {{1700000000, 0}, {1234567890, 987654321}};
    ASSERT_EQ(::utimensat(AT_FDCWD, name.constData(), times, 0), 0);
    const std::optional<orvelle::FileStatus> status = orvelle::StatusOf(PathFromNative(name));
    ASSERT_TRUE(status);
    EXPECT_EQ(status->lastWrite.toMSecsSinceEpoch(), qint64(1234567890987));
    EXPECT_EQ(status->lastWrite.timeSpec(), Qt::LocalTime);
}

TEST(NativeFiles, AFolderListsEveryNameByItsBytes)
{
    const Folder f;
    orvelle::test::MakeDirRaw(f.At("sub\xe9"));
    ASSERT_EQ(::symlink("b\x82\xa0.jpg", f.At("link\x82").constData()), 0);

    const orvelle::FolderListing listing = orvelle::ListFolder(PathFromNative(f.root));
    ASSERT_TRUE(listing.opened);
    ASSERT_TRUE(listing.id);
    EXPECT_EQ(listing.id->node, Inode(f.root));
    QList<QByteArray> names;
    for (const orvelle::FolderEntry& entry : listing.entries) {
        names << PathToNative(entry.name);
        const orvelle::EntryKind expected =
            entry.name == PathFromNative("sub\xe9")    ? orvelle::EntryKind::Folder
            : entry.name == PathFromNative("link\x82") ? orvelle::EntryKind::Link
                                                       : orvelle::EntryKind::File;
        EXPECT_EQ(entry.kind, expected) << PathToNative(entry.name).toHex().constData();
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, orvelle::test::ListRaw(f.root));

    EXPECT_FALSE(orvelle::ListFolder(f.Path("none\xff")).opened);
    EXPECT_FALSE(orvelle::ListFolder(f.Path(ByteNames().front().bytes)).opened);
}

TEST(NativeFiles, RemovingTakesExactlyThatFile)
{
    for (const ByteName& name : ByteNames()) {
        SCOPED_TRACE(name.what);
        const Folder f;
        const QList<QByteArray> before = orvelle::test::ListRaw(f.root);
        ASSERT_TRUE(orvelle::RemoveFile(f.Path(name.bytes)));
        QList<QByteArray> expected = before;
        expected.removeOne(name.bytes);
        EXPECT_EQ(orvelle::test::ListRaw(f.root), expected);
        EXPECT_FALSE(orvelle::RemoveFile(f.Path(name.bytes)));
    }
}

TEST(NativeFiles, WhatIsNoFileToReadIsRefused)
{
    const Folder f;
    orvelle::test::MakeDirRaw(f.At("dir\x82"));
    ASSERT_EQ(::mkfifo(f.At("pipe\x82").constData(), 0644), 0);
    ASSERT_EQ(::symlink("missing\xe9", f.At("dangling\xe9").constData()), 0);
    for (const QByteArray& name : {QByteArray("dir\x82"), QByteArray("pipe\x82")}) {
        // A pipe is refused at once, not after a writer came.
        EXPECT_FALSE(orvelle::OpenForReading(f.Path(name))) << name.constData();
        EXPECT_FALSE(orvelle::IsFile(f.Path(name)));
    }
    EXPECT_FALSE(orvelle::OpenForReading(f.Path("dir\x82"), orvelle::Readable::PipesToo));
    EXPECT_TRUE(orvelle::IsFolder(f.Path("dir\x82")));
    EXPECT_EQ(orvelle::StatusOf(f.Path("pipe\x82"))->kind, orvelle::EntryKind::Other);

    // A dangling link is an entry, but names no file.
    EXPECT_TRUE(orvelle::EntryExists(f.Path("dangling\xe9")));
    EXPECT_FALSE(orvelle::StatusOf(f.Path("dangling\xe9")));
    EXPECT_FALSE(orvelle::OpenForReading(f.Path("dangling\xe9")));

    // A zero byte would end the name early and reach the file before it.
    const QString cut = f.Path(ByteNames().front().bytes) + QChar(0) + QStringLiteral("tail");
    EXPECT_FALSE(orvelle::OpenForReading(cut));
    EXPECT_FALSE(orvelle::StatusOf(cut));
    EXPECT_FALSE(orvelle::EntryExists(cut));
    EXPECT_FALSE(orvelle::RemoveFile(cut));
    EXPECT_FALSE(orvelle::IdentifyFile(cut));
    EXPECT_EQ(orvelle::WriteWholeFile(cut, "x", orvelle::DirectWrite::WhenNoTemporaryFile),
              orvelle::WriteOutcome::NotCreated);
    EXPECT_TRUE(ExistsRaw(f.At(ByteNames().front().bytes)));
}

TEST(NativeFiles, AWholeFileIsWrittenUnderItsBytesAndNothingElseIsLeft)
{
    for (const ByteName& name : ByteNames()) {
        SCOPED_TRACE(name.what);
        const orvelle::test::ByteSandbox box;
        const QByteArray root = box.Root();
        orvelle::test::MakeDirRaw(JoinBytes(root, "d\x82"));
        const QByteArray target = JoinBytes(JoinBytes(root, "d\x82"), name.bytes);

        ASSERT_EQ(
            orvelle::WriteWholeFile(PathFromNative(target), "first", orvelle::DirectWrite::Never),
            orvelle::WriteOutcome::Written);
        EXPECT_EQ(ReadRaw(target), "first");
        ASSERT_EQ(::chmod(target.constData(), 0604), 0);
        ASSERT_EQ(orvelle::WriteWholeFile(PathFromNative(target), "second, longer",
                                          orvelle::DirectWrite::Never),
                  orvelle::WriteOutcome::Written);
        EXPECT_EQ(ReadRaw(target), "second, longer");
        struct stat st {};
        ASSERT_EQ(::stat(target.constData(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0604u);
        EXPECT_EQ(orvelle::test::ListRaw(JoinBytes(root, "d\x82")), QList<QByteArray>{name.bytes});
    }
}

TEST(NativeFiles, WritingThroughALinkReplacesItsTarget)
{
    const Folder f;
    orvelle::test::MakeDirRaw(f.At("real\xe9"));
    WriteRaw(f.At("real\xe9/t\x82.jpg"), "old");
    ASSERT_EQ(::symlink("real\xe9/t\x82.jpg", f.At("link\xff").constData()), 0);
    ASSERT_EQ(::symlink("link\xff", f.At("link2\xff").constData()), 0);

    ASSERT_EQ(orvelle::WriteWholeFile(f.Path("link2\xff"), "new", orvelle::DirectWrite::Never),
              orvelle::WriteOutcome::Written);
    EXPECT_EQ(ReadRaw(f.At("real\xe9/t\x82.jpg")), "new");
    struct stat st {};
    ASSERT_EQ(::lstat(f.At("link2\xff").constData(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    ASSERT_EQ(::lstat(f.At("link\xff").constData(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(orvelle::test::ListRaw(f.At("real\xe9")), QList<QByteArray>{"t\x82.jpg"});
}

TEST(NativeFiles, AWriteThatCannotBeMadeLeavesEverythingAsItWas)
{
    const Folder f;
    orvelle::test::MakeDirRaw(f.At("taken\x82"));
    EXPECT_EQ(orvelle::WriteWholeFile(f.Path("taken\x82"), "x", orvelle::DirectWrite::Never),
              orvelle::WriteOutcome::NotCreated);
    EXPECT_EQ(orvelle::WriteWholeFile(f.Path("missing\x82/new.jpg"), "x",
                                      orvelle::DirectWrite::WhenNoTemporaryFile),
              orvelle::WriteOutcome::NotCreated);
    EXPECT_FALSE(ExistsRaw(f.At("missing\x82")));
}

TEST(NativeFiles, OnlyTheFallbackWritesInPlaceWhereAFolderTakesNoNewFile)
{
    const Folder f;
    orvelle::test::MakeDirRaw(f.At("locked\xe9"));
    WriteRaw(f.At("locked\xe9/s\xff.ini"), "old");
    ASSERT_EQ(::chmod(f.At("locked\xe9").constData(), 0555), 0);
    const bool ignoresRights = ::access(f.At("locked\xe9").constData(), W_OK) == 0;
    if (!ignoresRights) {
        EXPECT_EQ(orvelle::WriteWholeFile(f.Path("locked\xe9/s\xff.ini"), "new",
                                          orvelle::DirectWrite::Never),
                  orvelle::WriteOutcome::NotCreated);
        EXPECT_EQ(ReadRaw(f.At("locked\xe9/s\xff.ini")), "old");
        EXPECT_EQ(orvelle::WriteWholeFile(f.Path("locked\xe9/s\xff.ini"), "new",
                                          orvelle::DirectWrite::WhenNoTemporaryFile),
                  orvelle::WriteOutcome::Written);
        EXPECT_EQ(ReadRaw(f.At("locked\xe9/s\xff.ini")), "new");
    }
    ::chmod(f.At("locked\xe9").constData(), 0755);
    if (ignoresRights)
        GTEST_SKIP() << "running with rights that ignore permissions";
}

TEST(NativeFiles, OpeningForWritingCreatesOrEmptiesThatFile)
{
    const Folder f;
    for (const ByteName& name : ByteNames()) {
        SCOPED_TRACE(name.what);
        std::unique_ptr<QFile> file = orvelle::OpenForWriting(f.Path(name.bytes));
        ASSERT_TRUE(file);
        EXPECT_EQ(file->write("short"), 5);
        file.reset();
        EXPECT_EQ(ReadRaw(f.At(name.bytes)), "short");
        if (LossyText(name.bytes).toUtf8() != name.bytes) {
            EXPECT_EQ(ReadRaw(f.At(LossyText(name.bytes).toUtf8())), "lossy twin");
        }
    }
    EXPECT_FALSE(orvelle::OpenForWriting(f.Path("missing\x82/x")));
}

TEST(NativeFiles, AShownNameIsMatchedToTheOneEntryThatShowsAlike)
{
    const orvelle::test::ByteSandbox box;
    const QByteArray root = box.Root();
    const auto at = [&](const QByteArray& name) { return JoinBytes(root, name); };
    const auto shown = [&](const QByteArray& name) { return LossyText(at(name)); };
    orvelle::test::MakeDirRaw(at("d\xe9"));
    WriteRaw(at("d\xe9/x\x82\xa0.jpg"), "");
    WriteRaw(at("b\x82\xa0.jpg"), "");
    WriteRaw(at("c\xe9.jpg"), "");
    WriteRaw(at("c\xea.jpg"), ""); // shows as c\uFFFD.jpg too
    WriteRaw(at("\xff.jpg"), "");
    WriteRaw(at("\xef\xbf\xbd.jpg"), ""); // really named U+FFFD.jpg

    struct Row {
        const char* what;
        QString shown;
        QString real;
    };
    const QList<Row> rows{
        {"one name", shown("b\x82\xa0.jpg"), PathFromNative(at("b\x82\xa0.jpg"))},
        {"a folder and a name", shown("d\xe9/x\x82\xa0.jpg"),
         PathFromNative(at("d\xe9/x\x82\xa0.jpg"))},
        {"a folder alone", shown("d\xe9"), PathFromNative(at("d\xe9"))},
        {"a new name in such a folder", shown("d\xe9/new.jpg"),
         PathFromNative(at("d\xe9/new.jpg"))},
        {"a new shown name in it", shown("d\xe9/n\xe9w.jpg"),
         PathFromNative(at("d\xe9")) + QStringLiteral("/n\uFFFDw.jpg")},
        {"two entries show alike", shown("c\xe9.jpg"), shown("c\xe9.jpg")},
        {"an existing name is itself", shown("\xff.jpg"), shown("\xff.jpg")},
        {"a valid name that names nothing", LossyText(at("none.jpg")), LossyText(at("none.jpg"))},
        {"nothing under a missing folder", shown("gone\xe9/x\xe9.jpg"),
         shown("gone\xe9/x\xe9.jpg")},
        {"an empty answer", QString(), QString()},
    };
    for (const Row& row : rows)
        EXPECT_EQ(PathToNative(orvelle::ResolveShownPath(row.shown)), PathToNative(row.real))
            << row.what;
}

TEST(NativeFiles, TheProgramsOwnPathNamesTheRunningProgram)
{
    const std::optional<orvelle::FileStatus> status = orvelle::StatusOf(orvelle::ExecutablePath());
    ASSERT_TRUE(status);
    EXPECT_EQ(status->id.node, Inode("/proc/self/exe"));
}
