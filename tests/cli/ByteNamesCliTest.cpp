#include <atomic>
#include <set>
#include <vector>

#include <spawn.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include "ByteNames.h"
#include "Check.h"
#include "NativePath.h"
#include "TestSupport.h"

extern char** environ;

using orvelle::test::ByteName;
using orvelle::test::ByteNames;
using orvelle::test::ByteSandbox;
using orvelle::test::CliResult;
using orvelle::test::GroupsOf;
using orvelle::test::JoinBytes;
using orvelle::test::LossyText;
using orvelle::test::ReadRaw;
using orvelle::test::WriteRaw;

namespace {

// The built tool run with exactly these argument bytes: QProcess would pass
// its arguments through Qt's lossy file-name encoding.
CliResult RunCli(const ByteSandbox& box, const std::vector<QByteArray>& args)
{
    const QByteArray outFile = box.At("stdout.bin");
    const QByteArray errFile = box.At("stderr.bin");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outFile.constData(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_addopen(&actions, 2, errFile.constData(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    QByteArray program(ORVELLE_CLI);
    std::vector<char*> argv{program.data()};
    std::vector<QByteArray> copies = args;
    for (QByteArray& a : copies)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    CliResult r;
    pid_t pid = 0;
    const int spawned =
        posix_spawn(&pid, program.constData(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        return r;
    int status = 0;
    if (::waitpid(pid, &status, 0) == pid && WIFEXITED(status))
        r.status = WEXITSTATUS(status);
    r.out = ReadRaw(outFile);
    r.err = ReadRaw(errFile);
    ::unlink(outFile.constData());
    ::unlink(errFile.constData());
    return r;
}

std::multiset<QByteArray> Split(const QByteArray& bytes, char end)
{
    std::multiset<QByteArray> records;
    QList<QByteArray> parts = bytes.split(end);
    EXPECT_TRUE(parts.isEmpty() || parts.back().isEmpty()) << "the last record ends too";
    parts.removeLast();
    records.insert(parts.begin(), parts.end());
    return records;
}

// Every byte name beside an ASCII-named copy; group numbers in the order
// the scan meets them, so only the pairs are compared.
struct Archive {
    ByteSandbox box;
    QByteArray folder = box.At("archive \x82\xa0");
    std::set<std::set<QByteArray>> pairs;

    Archive()
    {
        orvelle::test::MakeDirRaw(folder);
        int k = 0;
        for (const ByteName& name : ByteNames()) {
            const QByteArray twin = At("twin" + QByteArray::number(k) + ".jpg");
            WriteRaw(At(name.bytes), "content " + QByteArray::number(k));
            WriteRaw(twin, "content " + QByteArray::number(k++));
            pairs.insert({At(name.bytes), twin});
        }
    }
    QByteArray At(const QByteArray& name) const { return JoinBytes(folder, name); }
};

} // namespace

TEST(CliByteNames, CheckPrintsEachPathAsItsBytes)
{
    const Archive a;
    // -0: a name holding a line break is one record all the same.
    CliResult r = RunCli(a.box, {"check", "-0", a.folder});
    ASSERT_EQ(r.status, 0) << r.err.constData();
    EXPECT_EQ(GroupsOf(Split(r.out, '\0')), a.pairs);
    EXPECT_FALSE(r.out.contains("\xef\xbf\xbd")); // no U+FFFD anywhere

    // Line by line, the same records with line ends.
    r = RunCli(a.box, {"check", a.folder});
    ASSERT_EQ(r.status, 0);
    std::multiset<QByteArray> records = Split(r.out, '\n');
    std::set<QByteArray> paths;
    for (const QByteArray& record : records)
        paths.insert(record.mid(8));
    for (const auto& pair : a.pairs) {
        for (const QByteArray& path : pair) {
            if (!path.contains('\n')) {
                EXPECT_TRUE(paths.count(path)) << path.constData();
            }
        }
    }
    EXPECT_EQ(records.size(), 2 * a.pairs.size() + 1); // the line break splits one record
}

TEST(CliByteNames, PathsAndListLinesReachTheirFiles)
{
    const Archive a;
    std::vector<QByteArray> args{"check", "-0"};
    QByteArray list;
    for (const auto& pair : a.pairs) {
        // One of each pair given on the command line, the other in the list
        // (where a name with a line break cannot be).
        const QByteArray first = *pair.begin();
        const QByteArray second = *pair.rbegin();
        args.push_back(first);
        if (second.contains('\n'))
            args.push_back(second);
        else
            list += second + (list.size() % 2 ? "\r\n" : "\n");
    }
    WriteRaw(a.box.At("list \xe9.txt"), list);
    args.push_back("--list");
    args.push_back(a.box.At("list \xe9.txt"));
    const CliResult r = RunCli(a.box, args);
    ASSERT_EQ(r.status, 0) << r.err.constData();
    EXPECT_EQ(GroupsOf(Split(r.out, '\0')), a.pairs);
}

TEST(CliByteNames, AStoppedRunPrintsNoRecordsAndNamesTheFileAsItShows)
{
    const Archive a;
    // The first pair is found before the missing file stops the run: the
    // first entry meets the list's last one first.
    const QByteArray missing = a.At("gone \x82\xa0.jpg");
    const std::set<QByteArray>& pair = *a.pairs.begin();
    const std::vector<QByteArray> args{"check", *pair.begin(), missing, *pair.rbegin()};
    QStringList files;
    for (std::size_t i = 1; i < args.size(); ++i)
        files << orvelle::PathFromNative(args[i]);
    const std::atomic<bool> cancel{false};
    const orvelle::CheckResult run = orvelle::RunCheck(files, {}, cancel);
    ASSERT_EQ(run.outcome, orvelle::CheckOutcome::Failed);
    ASSERT_FALSE(run.MatchList.isEmpty()) << "the run found records before it stopped";

    const CliResult r = RunCli(a.box, args);
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(r.out.isEmpty()) << r.out.constData();
    EXPECT_EQ(r.err,
              QStringLiteral("ファイル %1 は開けません.\n").arg(LossyText(missing)).toUtf8());

    // The list file itself, by its bytes.
    const CliResult list = RunCli(a.box, {"check", "--list", a.At("none \xe9.txt")});
    EXPECT_EQ(list.status, 2);
    EXPECT_TRUE(list.out.isEmpty());
    EXPECT_EQ(list.err, QStringLiteral("ファイル %1 は開けません.\n")
                            .arg(LossyText(a.At("none \xe9.txt")))
                            .toUtf8());
}

TEST(CliByteNames, InfoAndRenderTakeSuchNames)
{
    const ByteSandbox box;
    const QByteArray picture = box.At("写真 \x82\xa0.bmp");
    WriteRaw(picture, orvelle::test::Bmp24(3, 2, [](int, int) { return 0x123456u; }));
    CliResult r = RunCli(box, {"info", picture});
    ASSERT_EQ(r.status, 0) << r.err.constData();
    EXPECT_EQ(r.out, picture + "\tTBitmap\t3\t2\n");

    const QByteArray output = box.At("out \xe9.ppm");
    r = RunCli(box, {"render", picture, "-o", output});
    ASSERT_EQ(r.status, 0) << r.err.constData();
    EXPECT_TRUE(ReadRaw(output).startsWith("P6\n3 2\n255\n"));
}

TEST(CliByteNames, HelpSaysWhatTheOutputAndStatusMean)
{
    const ByteSandbox box;
    const CliResult r = RunCli(box, {"--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.out.startsWith("usage:"));
    EXPECT_TRUE(r.out.contains("[-0]"));
    EXPECT_TRUE(r.out.contains("zero byte under -0"));
    EXPECT_TRUE(r.out.contains("prints no records"));
    EXPECT_TRUE(r.err.isEmpty());
}
