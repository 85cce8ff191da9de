#include "UpdateManager/VersionFinderSet.h"

#include "UpdateManager/FileVersionFinder.h"
#include "tests/support/LogTestSeam.h"
#include "tests/support/PeFileBuilder.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

using namespace Kelvora::UpdateManager;

// Answers as told and counts how often it was asked.
class ScriptedFinder : public VersionFinder
{
public:
    ScriptedFinder(bool reads, bool finds, const std::string& text, int& asked)
        : reads(reads), finds(finds), text(text), asked(asked)
    {
    }
    bool FindVersion(std::string& version, bool& found) const override
    {
        ++asked;
        found = finds;
        if (reads)
            version = text;
        return reads;
    }

private:
    bool reads;
    bool finds;
    std::string text;
    int& asked;
};

struct Outcome
{
    bool result;
    std::string version;
    bool found;
};

Outcome Ask(const VersionFinderSet& set)
{
    Outcome outcome{false, "before", true};
    outcome.result = set.FindVersion(outcome.version, outcome.found);
    return outcome;
}

TEST(VersionFinderSetTest, EmptySetIsNotInstalled)
{
    LogCapture log({"update_manager"});
    const VersionFinderSet set;
    const Outcome outcome = Ask(set);
    EXPECT_FALSE(outcome.result);
    EXPECT_EQ(outcome.version, "not_installed");
    EXPECT_FALSE(outcome.found);
    EXPECT_EQ(log.Messages("update_manager", "debug"),
              std::vector<std::string>{"VersionFinderSet: Didn't find any version number."});
}

TEST(VersionFinderSetTest, FileWithoutVersionThenNothingIsUnknown)
{
    TempDir dir;
    const auto noVersion = dir.WriteFile("plain.exe", "not an executable");
    VersionFinderSet set;
    set.Add(std::make_unique<FileVersionFinder>(noVersion.string()));
    set.Add(std::make_unique<FileVersionFinder>((dir.Path() / "missing.exe").string()));
    const Outcome outcome = Ask(set);
    EXPECT_FALSE(outcome.result);
    EXPECT_EQ(outcome.version, "unknown");
    EXPECT_TRUE(outcome.found);
}

TEST(VersionFinderSetTest, FirstFinderThatReadsWinsAndLaterOnesAreNotAsked)
{
    TempDir dir;
    const auto noVersion = dir.WriteFile("plain.exe", "not an executable");
    const auto app = dir.WriteFile("app.exe", PeFileBuilder().FileVersion(2, 3, 4, 5).Build());
    int thirdAsked = 0;
    VersionFinderSet set;
    set.Add(std::make_unique<FileVersionFinder>(noVersion.string()));
    set.Add(std::make_unique<FileVersionFinder>(app.string()));
    set.Add(std::make_unique<ScriptedFinder>(true, true, "9.9.9.9", thirdAsked));
    EXPECT_EQ(set.GetCount(), 3u);
    LogCapture log({"update_manager"});
    const Outcome outcome = Ask(set);
    EXPECT_TRUE(outcome.result);
    EXPECT_EQ(outcome.version, "2.3.4.5");
    EXPECT_TRUE(outcome.found);
    EXPECT_EQ(thirdAsked, 0);
    EXPECT_EQ(log.Messages("update_manager", "debug"),
              std::vector<std::string>{"FileVersion: Found version 2.3.4.5 for item " + app.string()});
}

TEST(VersionFinderSetTest, FoundFlagOfAnyAskedFinderCounts)
{
    int asked = 0;
    VersionFinderSet set;
    set.Add(std::make_unique<ScriptedFinder>(false, true, "", asked));
    set.Add(std::make_unique<ScriptedFinder>(false, false, "", asked));
    const Outcome outcome = Ask(set);
    EXPECT_FALSE(outcome.result);
    EXPECT_EQ(outcome.version, "unknown");
    EXPECT_TRUE(outcome.found);
    EXPECT_EQ(asked, 2);
}

} // namespace
