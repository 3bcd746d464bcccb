#include <gtest/gtest.h>

#include <QString>
#include <QStringList>

#include "StartArguments.h"

using orvelle::ParseStartArguments;
using orvelle::StartRequest;
using Action = StartRequest::Action;

namespace {

const QString kHere = QStringLiteral("/home/someone/work");

TEST(StartArguments, PathsComeInTheirOrderAndAbsolute)
{
    const StartRequest r = ParseStartArguments(
        {QStringLiteral("/pictures/"), QStringLiteral("b.jpg"), QStringLiteral("../up"),
         QStringLiteral("/"), QStringLiteral("a.jpg"), QStringLiteral("a.jpg")},
        kHere);
    EXPECT_EQ(r.action, Action::Run);
    // The trailing separator a shell's completion adds goes; the names stay
    // as typed, ".." included, and a path given twice comes twice.
    EXPECT_EQ(r.paths, (QStringList{QStringLiteral("/pictures"), kHere + QStringLiteral("/b.jpg"),
                                    kHere + QStringLiteral("/../up"), QStringLiteral("/"),
                                    kHere + QStringLiteral("/a.jpg"),
                                    kHere + QStringLiteral("/a.jpg")}));
    EXPECT_TRUE(ParseStartArguments({}, kHere).paths.isEmpty());
}

TEST(StartArguments, OptionsAndTheEndOfThem)
{
    EXPECT_EQ(ParseStartArguments({QStringLiteral("a"), QStringLiteral("--help")}, kHere).action,
              Action::Help);
    EXPECT_EQ(ParseStartArguments({QStringLiteral("-h")}, kHere).action, Action::Help);
    EXPECT_EQ(ParseStartArguments({QStringLiteral("--version")}, kHere).action, Action::Version);

    const StartRequest wrong = ParseStartArguments({QStringLiteral("--verbose")}, kHere);
    EXPECT_EQ(wrong.action, Action::Wrong);
    EXPECT_EQ(wrong.wrong, QStringLiteral("--verbose"));

    // After "--" everything is a path, a lone "-" always is one.
    const StartRequest paths = ParseStartArguments(
        {QStringLiteral("-"), QStringLiteral("--"), QStringLiteral("--help"), QStringLiteral("-x")},
        kHere);
    EXPECT_EQ(paths.action, Action::Run);
    EXPECT_EQ(paths.paths, (QStringList{kHere + QStringLiteral("/-"),
                                        kHere + QStringLiteral("/--help"),
                                        kHere + QStringLiteral("/-x")}));
}

TEST(StartArguments, TextsAreFoundBeforeQtTakesItsOptions)
{
    using orvelle::TextAskedFor;
    EXPECT_EQ(TextAskedFor({QStringLiteral("-platform"), QStringLiteral("offscreen"),
                            QStringLiteral("--version")}),
              Action::Version);
    EXPECT_EQ(TextAskedFor({QStringLiteral("a.jpg"), QStringLiteral("-h")}), Action::Help);
    EXPECT_EQ(TextAskedFor({QStringLiteral("--"), QStringLiteral("--help")}), Action::Run);
    EXPECT_EQ(TextAskedFor({QStringLiteral("-platform"), QStringLiteral("offscreen")}),
              Action::Run);
}

} // namespace
