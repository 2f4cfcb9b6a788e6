#include <gtest/gtest.h>

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
using vextrel::testing::PublishedManager;
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
    EXPECT_EQ(PathFor("logs", "Host_App", true, 0), "logs/Host_App.txt");
    EXPECT_EQ(PathFor("logs", "Host_App", false, 0), "logs/Host_App_2025_03_02_13_05_09.txt");
    EXPECT_EQ(PathFor("logs", "Host_App", false, 7), "logs/Host_App_0000000007.txt");
    EXPECT_EQ(PathFor("logs", "Host_App", true, 7), "logs/Host_App.txt");

    const std::string longFolder(300, 'f');
    EXPECT_EQ(PathFor(longFolder, "Host", false, 0), longFolder.substr(0, 259));
    const std::string longBase(300, 'b');
    EXPECT_EQ(PathFor("logs", longBase.c_str(), true, 0), ("logs/" + longBase).substr(0, 259));
}

TEST(TraceFile, AppendModeReusesTheNamedFileAndASecondOpenKeepsTheFirst) {
    TempFolder folder;
    FileTracer tracer;
    tracer.append = true;
    ASSERT_TRUE(tracer.OpenTraceFile(folder.Path().c_str(), "Host"));
    EXPECT_EQ(tracer.GetPath(), folder.Path() + "/Host.txt");
    ASSERT_TRUE(tracer.OpenTraceFile(folder.Path("elsewhere").c_str(), "Other"));
    EXPECT_EQ(tracer.GetPath(), folder.Path() + "/Host.txt");
    EXPECT_FALSE(std::filesystem::exists(folder.Path("elsewhere")));
}

TEST(TraceFile, DateModeUsesTheLocalTimeAndTheSameSecondTakesTheNextNumber) {
    TempFolder folder;
    FileTracer now;
    const platform::CalendarTime before = platform::LocalTime();
    ASSERT_TRUE(now.OpenTraceFile(folder.Path().c_str(), "Host"));
    const platform::CalendarTime after = platform::LocalTime();
    const std::string opened = now.GetPath();
    EXPECT_TRUE(opened == PathFor(folder.Path(), "Host", false, 0, before) ||
                opened == PathFor(folder.Path(), "Host", false, 0, after))
        << opened;

    FileTracer first, second, third;
    ASSERT_TRUE(OpenTraceFileAt(first, folder.Path().c_str(), "Host", kMarchSecond));
    char line[] = "from the first start\n";
    first.Write(line, static_cast<int32_t>(std::strlen(line)));
    first.Flush();
    ASSERT_TRUE(OpenTraceFileAt(second, folder.Path().c_str(), "Host", kMarchSecond));
    ASSERT_TRUE(OpenTraceFileAt(third, folder.Path().c_str(), "Host", kMarchSecond));
    const std::string stem = PathFor(folder.Path(), "Host", false, 0, kMarchSecond);
    EXPECT_EQ(second.GetPath(), stem.substr(0, stem.size() - 4) + "_1.txt");
    EXPECT_EQ(third.GetPath(), stem.substr(0, stem.size() - 4) + "_2.txt");
    EXPECT_EQ(ReadFile(first.GetPath()), "from the first start\n");
}

TEST(TraceFile, FoldersAreCreatedLevelByLevel) {
    TempFolder folder;
    const char separator = platform::kPathSeparator;
    const std::string deep = folder.Path("a") + separator + "b" + separator + "c";
    FileTracer tracer;
    tracer.append = true;
    ASSERT_TRUE(tracer.OpenTraceFile(deep.c_str(), "Host"));
    EXPECT_TRUE(std::filesystem::is_regular_file(deep + separator + "Host.txt"));

    const std::string trailing = folder.Path("x") + separator + "y" + separator;
    EnsureFolder(trailing.c_str());
    EXPECT_TRUE(std::filesystem::is_directory(folder.Path("x") + separator + "y"));
}

// A level that is a file blocks the folder: no trace file, while the other outputs go on.
TEST(TraceFile, AnUnopenableFileLeavesConsoleAndClientsRunning) {
    TempFolder folder;
    std::ofstream(folder.Path("blocker")) << "a file, not a folder";
    const std::string blocked = folder.Path("blocker") + platform::kPathSeparator + "logs";

    std::unique_ptr<TraceConfig> config(TraceConfig::Create());
    ASSERT_FALSE(config->file.OpenTraceFile(blocked.c_str(), "Host"));
    EXPECT_FALSE(config->file.HasWriter());
    EXPECT_STREQ(config->file.GetPath(), "");
    EXPECT_EQ(config->file.Flush(), 0);

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
    EXPECT_EQ(queue->lostCount.Load(), 1u) << "without a file the loss stays to be reported";
}

TEST(TraceFile, CopiesShareTheFileAndClosingOneLeavesItOpen) {
    TempFolder folder;
    FileTracer original;
    original.append = true;
    ASSERT_TRUE(original.OpenTraceFile(folder.Path().c_str(), "Host"));
    const std::string path = original.GetPath();
    FileTracer copy;
    copy = original;
    EXPECT_EQ(copy.GetPath(), path);
    original.CloseTraceFile();
    EXPECT_FALSE(original.HasWriter());
    char line[] = "written through the copy\n";
    copy.Write(line, static_cast<int32_t>(std::strlen(line)));
    copy.Flush();
    EXPECT_EQ(ReadFile(path), "written through the copy\n");
}

// Retention runs for dated files with a limit above 0, before the new file exists.
TEST(TraceFile, OnlyDatedFilesWithALimitPruneOldOnes) {
    TempFolder folder;
    ScopedExecutableName host("Host.exe");
    std::vector<std::string> old;
    for (int day = 1; day <= 3; ++day) {
        old.push_back(folder.Path("Host_2024_05_0" + std::to_string(day) + "_10_00_00.txt"));
        std::ofstream(old.back()) << "old";
        std::filesystem::last_write_time(old.back(), std::filesystem::file_time_type::clock::now() -
                                                         std::chrono::hours(100 - day));
    }
    auto oldLeft = [&] {
        int left = 0;
        for (const std::string& path : old) left += std::filesystem::exists(path) ? 1 : 0;
        return left;
    };
    FileTracer appending, unlimited, counted, limited;
    appending.append = true;
    appending.logFileLimit = 1;
    ASSERT_TRUE(appending.OpenTraceFile(folder.Path().c_str(), "Host"));
    unlimited.logFileLimit = 0;
    ASSERT_TRUE(OpenTraceFileAt(unlimited, folder.Path().c_str(), "Host", kMarchSecond));
    counted.logFileLimit = 1;
    counted.counterValue = 3;
    ::testing::internal::CaptureStderr();
    ASSERT_TRUE(counted.OpenTraceFile(folder.Path().c_str(), "Host"));
    const std::string debuggerOutput = ::testing::internal::GetCapturedStderr();
    if (!debuggerOutput.empty()) {  // Windows sends it to the debugger instead
        EXPECT_EQ(debuggerOutput, "DeleteMinCounterLogFiles() function not implemented yet!\n");
    }
    EXPECT_EQ(counted.GetPath(), folder.Path() + "/Host_0000000003.txt");
    EXPECT_EQ(oldLeft(), 3);

    limited.logFileLimit = 2;
    ASSERT_TRUE(OpenTraceFileAt(limited, folder.Path().c_str(), "Host", platform::CalendarTime{2025, 4, 1, 0, 0, 0}));
    EXPECT_EQ(oldLeft(), 0);
    EXPECT_TRUE(std::filesystem::exists(limited.GetPath()));
    EXPECT_TRUE(std::filesystem::exists(appending.GetPath())) << "Host.txt does not match Host_*";
}

TEST(VextrelGetTracePath, FollowsTheFirstConfigurationOnly) {
    EXPECT_STREQ(VextrelGetTracePath(), "");
    TempFolder folder;
    PublishedManager manager;
    EXPECT_STREQ(VextrelGetTracePath(), "");

    TraceConfig* withFile = TraceConfig::Create();
    withFile->file.append = true;
    ASSERT_TRUE(withFile->file.OpenTraceFile(folder.Path().c_str(), "Host"));
    AddConfig(manager.get(), withFile);
    manager->PublishConfigs();
    EXPECT_EQ(std::string(VextrelGetTracePath()), folder.Path() + "/Host.txt");

    manager->configs.insert(manager->configs.begin(), TraceConfig::Create());
    manager->PublishConfigs();
    EXPECT_STREQ(VextrelGetTracePath(), "");
}
