#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "core/manager.h"
#include "core/record_queue.h"
#include "core/trace_config.h"
#include "core/trace_entry.h"
#include "output/queue_writer.h"
#include "output/trace_file.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "support/core_fixture.h"
#include "support/output_fixture.h"

using namespace vextrel;
using vextrel::testing::LineCollector;
using vextrel::testing::ReadFile;
using vextrel::testing::ScopedExecutableName;
using vextrel::testing::TempFolder;

namespace {

const platform::CalendarTime kMarchSecond{2025, 3, 2, 13, 5, 9};

std::string PathFor(const std::string& folder, const char* base, bool append, uint32_t counter,
                    const platform::CalendarTime& now = kMarchSecond) {
    char path[kTraceFilePathCapacity];
    TraceFilePathFor(folder.c_str(), base, append, counter, now, path);
    return path;
}

}  // namespace

TEST(TraceFile, NamesFollowTheAppendFlagTheDateAndTheCounter) {
    EXPECT_EQ(PathFor("logs", "Host_App", true, 7), "logs/Host_App.txt");
    EXPECT_EQ(PathFor("logs", "Host_App", false, 0), "logs/Host_App_2025_03_02_13_05_09.txt");
    EXPECT_EQ(PathFor("logs", "Host_App", false, 7), "logs/Host_App_0000000007.txt");
}

// Append mode names the file by the executable alone; copies share the file.
TEST(TraceFile, OpeningAndCopies) {
    TempFolder folder;
    FileTracer original, copy;
    original.append = true;
    const std::string deep = folder.Path("a") + platform::kPathSeparator + "b";  // created level by level
    ASSERT_TRUE(original.OpenTraceFile(deep.c_str(), "Host"));
    const std::string path = original.GetPath();
    EXPECT_EQ(path, deep + "/Host.txt");
    copy = original;
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
    const std::string stem = PathFor(folder.Path(), "Host", false, 0, kMarchSecond);
    EXPECT_EQ(second.GetPath(), stem.substr(0, stem.size() - 4) + "_1.txt");
    EXPECT_EQ(third.GetPath(), stem.substr(0, stem.size() - 4) + "_2.txt");
    EXPECT_EQ(ReadFile(first.GetPath()), "written through the copy\n");
}

// A level that is a file blocks the folder: no trace file, while the clients go on and the loss
// stays to be reported.
TEST(TraceFile, AnUnopenableFileLeavesClientsRunning) {
    TempFolder folder;
    std::ofstream(folder.Path("blocker")) << "a file, not a folder";
    std::unique_ptr<TraceConfig> config(TraceConfig::Create());
    ASSERT_FALSE(config->file.OpenTraceFile((folder.Path("blocker") + platform::kPathSeparator + "logs").c_str(), "Host"));
    EXPECT_STREQ(config->file.GetPath(), "");
    LineCollector client;
    config->client.AddClient(&client);
    config->quiet.store(true);
    auto* queue = new RecordQueue;
    ASSERT_TRUE(StartQueueWriter(*queue, 4096, *config));
    config->SetQueue(queue);
    queue->lostCount.Store(1);
    TraceRecord* record = ReserveRecord(*config);
    std::strcpy(record->text, "still delivered");
    CommitRecord(record, Acceptance{false, true, true}, 1, 2, 0, 0, false, *config);
    ASSERT_TRUE(client.WaitFor(1));
    EXPECT_EQ(client.Lines(), std::vector<std::string>{"still delivered\n"});
    EXPECT_EQ(queue->lostCount.Load(), 1u);
}

// Retention runs for dated files with a limit above 0, before the new file exists.
TEST(TraceFile, OnlyDatedFilesWithALimitPruneOldOnes) {
    TempFolder folder;
    ScopedExecutableName host("Host.exe");
    std::vector<std::string> old;
    for (int day = 1; day <= 3; ++day) {
        old.push_back(folder.Path("Host_2024_05_0" + std::to_string(day) + "_10_00_00.txt"));
        std::ofstream(old.back()) << "old";
        std::filesystem::last_write_time(old.back(), std::filesystem::file_time_type::clock::now() - std::chrono::hours(100 - day));
    }
    auto oldLeft = [&] { return std::count_if(old.begin(), old.end(), [](const std::string& p) { return std::filesystem::exists(p); }); };
    FileTracer appending, counted, limited;
    appending.append = true;
    appending.logFileLimit = counted.logFileLimit = 1;
    ASSERT_TRUE(appending.OpenTraceFile(folder.Path().c_str(), "Host"));
    counted.counterValue = 3;
    ::testing::internal::CaptureStderr();  // counted files are not pruned, and say so
    ASSERT_TRUE(counted.OpenTraceFile(folder.Path().c_str(), "Host"));
    ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(oldLeft(), 3);
    limited.logFileLimit = 2;
    ASSERT_TRUE(OpenTraceFileAt(limited, folder.Path().c_str(), "Host", platform::CalendarTime{2025, 4, 1, 0, 0, 0}));
    EXPECT_EQ(oldLeft(), 0);
    EXPECT_TRUE(std::filesystem::exists(limited.GetPath()) && std::filesystem::exists(appending.GetPath()));
}
