// Trace files: their names, opening them, and the retention that prunes old ones.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "host/log_retention.h"
#include "output/file_writer.h"
#include "output/trace_file.h"
#include "support/output_fixture.h"
#include "support/record_queue_peer.h"

using namespace vextrel;
using namespace vextrel::testing;

namespace {

const platform::CalendarTime kMarchSecond{2025, 3, 2, 13, 5, 9};

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

// Append mode names the file by the executable alone, else by the date; copies share the file.
TEST(TraceFile, NamesOpeningAndCopies) {
    TempFolder folder;
    FileTracer original, copy;
    original.append = true;
    const std::string deep = folder.Path("a") + platform::kPathSeparator + "b";  // created level by level
    ASSERT_TRUE(OpenTraceFile(original, deep.c_str(), "Host"));
    const std::string path = original.GetPath();
    EXPECT_EQ(path, deep + "/Host.txt");
    copy.SetWriter(original.Writer());
    original.CloseTraceFile();
    char line[] = "written through the copy\n";
    copy.Write(line, static_cast<int32_t>(std::strlen(line)));
    copy.Flush();
    EXPECT_EQ(ReadFile(path), "written through the copy\n");

    // Later starts in the same second take the next numbers; the dated file keeps its text.
    FileTracer first, second, third;
    ASSERT_TRUE(OpenTraceFileAt(first, folder.Path().c_str(), "Host", kMarchSecond));
    first.Write(line, static_cast<int32_t>(std::strlen(line)));
    first.Flush();
    ASSERT_TRUE(OpenTraceFileAt(second, folder.Path().c_str(), "Host", kMarchSecond));
    ASSERT_TRUE(OpenTraceFileAt(third, folder.Path().c_str(), "Host", kMarchSecond));
    const std::string stem = folder.Path() + "/Host_2025_03_02_13_05_09";
    EXPECT_EQ(std::string(first.GetPath()) + "|" + second.GetPath() + "|" + third.GetPath(),
              stem + ".txt|" + stem + "_1.txt|" + stem + "_2.txt");
    EXPECT_EQ(ReadFile(first.GetPath()), "written through the copy\n");

    // With every number taken, no file is opened (none truncated) and standard error says so.
    FileTracer exhausted;
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(OpenTraceFileAt(exhausted, folder.Path().c_str(), "Host", kMarchSecond, 2));
    EXPECT_NE(::testing::internal::GetCapturedStderr().find("no trace file written: " + stem + ".txt"),
              std::string::npos);
    EXPECT_EQ(exhausted.GetPath(), "");
    EXPECT_EQ(ReadFile(first.GetPath()), "written through the copy\n");
}

// A file scheduled to take over is not the trace path until the writer takes it; one replaced
// before that (a restart overtaking another) is removed rather than left empty.
TEST(TraceFile, AScheduledFileCountsOnceTakenAndLeavesNothingWhenOvertaken) {
    TempFolder folder;
    FileTracer tracer;
    ASSERT_TRUE(OpenTraceFileAt(tracer, folder.Path().c_str(), "Host", kMarchSecond));
    const std::string current = tracer.GetPath();
    const auto scheduled = [&](uint32_t firstIndex) {
        auto next = std::make_unique<FileSwitch>();
        next->firstIndex = firstIndex;
        next->writer = OpenNewTraceFile(tracer, folder.Path().c_str(), "Host", kMarchSecond);
        return next;
    };
    std::unique_ptr<FileSwitch> overtaken = scheduled(10);
    ASSERT_NE(overtaken->writer, nullptr);
    const std::string overtakenPath = overtaken->writer->GetPath();
    tracer.ScheduleSwitch(std::move(overtaken));
    EXPECT_EQ(tracer.GetPath(), current);
    std::unique_ptr<FileSwitch> latest = scheduled(20);
    const std::string latestPath = latest->writer->GetPath();
    tracer.ScheduleSwitch(std::move(latest));
    EXPECT_FALSE(std::filesystem::exists(overtakenPath));
    EXPECT_EQ(tracer.TakeSwitchDue(19), nullptr);
    std::unique_ptr<FileSwitch> due = tracer.TakeSwitchDue(20);
    ASSERT_NE(due, nullptr);
    tracer.SetWriter(std::move(due->writer));
    EXPECT_EQ(tracer.GetPath(), latestPath);
}

// A level that is a file blocks the folder: no trace file, while the clients go on and the loss
// stays to be reported.
TEST(TraceFile, AnUnopenableFileLeavesClientsRunning) {
    TempFolder folder;
    std::ofstream(folder.Path("blocker")) << "a file, not a folder";
    std::unique_ptr<TraceConfig> config(TraceConfig::Create());
    ASSERT_FALSE(
        OpenTraceFile(config->file, (folder.Path("blocker") + platform::kPathSeparator + "logs").c_str(), "Host"));
    EXPECT_EQ(config->file.GetPath(), "");
    LineCollector client;
    config->client.AddClient(&client);
    config->quiet.store(true);
    StartWriter(*config);
    RecordQueuePeer::SetLostCount(*config->Queue(), 1);
    CommitText(*config, "still delivered");
    ASSERT_TRUE(client.WaitFor(1));
    EXPECT_EQ(client.Lines(), std::vector<std::string>{"still delivered\n"});
    EXPECT_EQ(RecordQueuePeer::LostCount(*config->Queue()), 1u);
}

// Retention runs for dated files with a limit above 0, before the new file exists.
TEST(TraceFile, OnlyDatedFilesWithALimitPruneOldOnes) {
    RetentionFolder folder;
    ScopedExecutableName host("Host.exe");
    const auto name = [](const FileTracer& t) { return std::filesystem::path(t.GetPath()).filename().string(); };
    for (int day = 1; day <= 3; ++day) folder.Add(Dated("Host", day), day);
    FileTracer appending, counted, limited;
    appending.append = true;
    appending.logFileLimit = counted.logFileLimit = 1;
    ASSERT_TRUE(OpenTraceFile(appending, folder.Path().c_str(), "Host"));
    counted.counterValue = 3;
    ::testing::internal::CaptureStderr();  // counted files are not pruned, and say so
    ASSERT_TRUE(OpenTraceFile(counted, folder.Path().c_str(), "Host"));
    ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(name(counted), "Host_0000000003.txt");
    EXPECT_EQ(folder.Names().size(), 5u);
    limited.logFileLimit = 2;
    ASSERT_TRUE(OpenTraceFileAt(limited, folder.Path().c_str(), "Host", platform::CalendarTime{2025, 4, 1, 0, 0, 0}));
    EXPECT_EQ(folder.Names(), (std::set<std::string>{name(appending), name(counted), name(limited)}));
}

// Keeps the limit minus one newest files of each family, only with a limit above 0. The host's and
// the video families are pruned separately; the match is on the prefix and an underscore alone. Of
// two files with the same last-write time only the one listed first is a candidate.
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
    EXPECT_EQ(folder.Names(),
              (std::set<std::string>{Dated("My_App", 3), Dated("Stavenor_Video", 3), Dated("My_Apple", 1),
                                     Dated("My_Apple", 2), Dated("My_Apple", 3), "My_Appendix.txt"}));

    RetentionFolder equal;
    equal.Add("Host_a.txt", 1);
    equal.Add("Host_b.txt", 1);
    equal.Add("Host_c.txt", 2);
    PruneTraceFiles(1, equal.Path().c_str(), "Host");
    const std::set<std::string> left = equal.Names();
    EXPECT_EQ(left.size(), 1u);
    EXPECT_EQ(left.count("Host_c.txt"), 0u);  // what stays is one of the two equally old files
}
