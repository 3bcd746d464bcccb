// Every saved fuzz input replayed through the code the fuzz targets run: the
// findings under tests/fuzz/regressions/<target>/, each named after what
// broke, and the starting inputs under tests/fuzz/inputs/<target>/. An input may end in
// one of the layer's errors; a crash, any other exception, or (in the
// sanitizer build) a memory or undefined-behaviour report fails it.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "Errors.h"
#include "FuzzInputs.h"
#include "RowName.h"
#include "TestSupport.h"

namespace {

struct SavedInput {
    std::string target; // the folder it lies in
    QString path;
    std::string row;
};

QString FuzzDir(const char* kind)
{
    return QStringLiteral(ORVELLE_SOURCE_DIR "/tests/fuzz/") + QString::fromLatin1(kind);
}

// The folders under inputs/ or regressions/, one a target.
QFileInfoList TargetFolders(const char* kind)
{
    return QDir(FuzzDir(kind)).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
}

std::vector<SavedInput> SavedInputs(const char* kind)
{
    std::vector<SavedInput> inputs;
    for (const QFileInfo& folder : TargetFolders(kind)) {
        const QFileInfoList files =
            QDir(folder.filePath()).entryInfoList(QDir::Files | QDir::Hidden, QDir::Name);
        for (const QFileInfo& file : files) {
            const std::string target = folder.fileName().toStdString();
            inputs.push_back({target, file.filePath(),
                              orvelle::test::RowName(inputs.size(),
                                                     target + " " + file.fileName().toStdString())});
        }
    }
    return inputs;
}

class SavedFuzzInput : public testing::TestWithParam<SavedInput> {
protected:
    static void SetUpTestSuite() { orvelle::fuzz::EnsureGuiApplication(); }
};

TEST_P(SavedFuzzInput, EndsWithoutFaultOrWithTheLayersError)
{
    const SavedInput& input = GetParam();
    const orvelle::fuzz::Target* target = orvelle::fuzz::FindTarget(input.target);
    ASSERT_NE(target, nullptr) << "no fuzz target named after the folder of "
                               << input.path.toStdString();
    QFile file(input.path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << input.path.toStdString();
    const QByteArray bytes = file.readAll();
    try {
        target->run(bytes);
    } catch (const orvelle::Exception&) {
        // A damaged file may well be refused.
    } catch (const std::exception& e) {
        ADD_FAILURE() << input.path.toStdString() << ": " << e.what();
    }
}

std::string RowOf(const testing::TestParamInfo<SavedInput>& info)
{
    return info.param.row;
}

INSTANTIATE_TEST_SUITE_P(Regressions, SavedFuzzInput,
                         testing::ValuesIn(SavedInputs("regressions")), RowOf);
INSTANTIATE_TEST_SUITE_P(Inputs, SavedFuzzInput, testing::ValuesIn(SavedInputs("inputs")), RowOf);

// A folder whose name is no target would never be fuzzed or replayed; a
// target without starting inputs starts from nothing.
TEST(FuzzFolders, EveryFolderIsATargetAndEveryTargetHasStartingInputs)
{
    for (const char* kind : {"inputs", "regressions"}) {
        for (const QFileInfo& folder : TargetFolders(kind))
            EXPECT_NE(orvelle::fuzz::FindTarget(folder.fileName().toStdString()), nullptr)
                << kind << "/" << folder.fileName().toStdString();
    }
    for (const orvelle::fuzz::Target& target : orvelle::fuzz::Targets()) {
        const QDir inputs(FuzzDir("inputs") + u'/' + QString::fromUtf8(target.name));
        EXPECT_FALSE(inputs.entryList(QDir::Files).isEmpty()) << "no starting inputs for " << target.name;
    }
}

} // namespace
