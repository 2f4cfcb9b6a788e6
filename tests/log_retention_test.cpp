#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "host/log_retention.h"
#include "support/output_fixture.h"

using namespace vextrel;
using vextrel::testing::ScopedExecutableName;
using vextrel::testing::TempFolder;

namespace {

// A trace folder whose files get last-write times `hour` hours after a fixed day, so their age
// follows the order in which a test names them.
class RetentionFolder {
public:
    void Add(const std::string& name, int hour) {
        const std::string path = folder_.Path(name);
        std::ofstream(path) << name;
        std::filesystem::last_write_time(path, base_ + std::chrono::hours(hour));
    }

    std::set<std::string> Names() const {
        std::set<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(folder_.Path())) {
            names.insert(entry.path().filename().string());
        }
        return names;
    }

    std::string Path() const { return folder_.Path(); }

private:
    TempFolder folder_;
    std::filesystem::file_time_type base_ = std::filesystem::file_time_type::clock::now() - std::chrono::hours(1000);
};

std::string Dated(const char* prefix, int day) {
    return std::string(prefix) + "_2024_05_0" + std::to_string(day) + "_10_00_00.txt";
}

}  // namespace

// Keeps the limit minus one newest files of each family, only with a limit above 0. The host's and
// the video families are pruned separately; the match is on the prefix and an underscore alone.
TEST(LogRetention, KeepsLimitMinusOneNewestPerFamilyAndOnlyWithALimit) {
    ScopedExecutableName host("My App.Beta.exe");
    RetentionFolder folder;
    for (int day = 1; day <= 3; ++day) {
        folder.Add(Dated("My_App", day), day);
        folder.Add(Dated("Stavenor_Video", day), 10 + day);
        folder.Add(Dated("My_Apple", day), day);
    }
    folder.Add("My_App_notes.txt", 0);
    folder.Add("My_Appendix.txt", 0);
    for (int32_t limit : {0, -1, -2147483647 - 1}) ApplyLogFileLimit(limit, folder.Path().c_str());
    ApplyLogFileLimit(1, (folder.Path() + "-missing").c_str());
    PruneTraceFiles(1, nullptr, "My_App");
    EXPECT_EQ(folder.Names().size(), 11u);
    ApplyLogFileLimit(2, folder.Path().c_str());
    EXPECT_EQ(folder.Names(), (std::set<std::string>{Dated("My_App", 3), Dated("Stavenor_Video", 3), Dated("My_Apple", 1),
                                                     Dated("My_Apple", 2), Dated("My_Apple", 3), "My_Appendix.txt"}));
}

// Of two files with the same last-write time only the one listed first is a candidate.
TEST(LogRetention, EqualTimesLeaveOneBeyondReach) {
    RetentionFolder equal;
    equal.Add("Host_a.txt", 1);
    equal.Add("Host_b.txt", 1);
    equal.Add("Host_c.txt", 2);
    PruneTraceFiles(1, equal.Path().c_str(), "Host");
    const std::set<std::string> left = equal.Names();
    EXPECT_TRUE(left.size() == 1 && (left.count("Host_a.txt") == 1 || left.count("Host_b.txt") == 1));
}
