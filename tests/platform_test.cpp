// The operating-system layer: counter, ids, calendar time, auto-reset events, threads, folders and
// files. The same checks run on Linux and on Windows (under Wine).
#include "platform/platform.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <thread>

namespace vextrel::platform {
namespace {

double SecondsBetween(uint64_t start, uint64_t end) {
    return static_cast<double>(end - start) / static_cast<double>(CounterFrequency());
}

int64_t SecondsSinceEpoch(const CalendarTime& t) {
    using namespace std::chrono;
    const sys_days date = year_month_day{year{t.year}, month{static_cast<unsigned>(t.month)}, day{static_cast<unsigned>(t.day)}};
    return date.time_since_epoch().count() * 86400LL + t.hour * 3600LL + t.minute * 60LL + t.second;
}

TEST(PlatformClock, CounterFrequencyIdsAndCalendarTime) {
    // Steady-clock readings around and inside the counter's interval bound it from both sides.
    const auto outerStart = std::chrono::steady_clock::now();
    const uint64_t start = ReadCounter();
    const auto innerStart = std::chrono::steady_clock::now();
    SleepMilliseconds(20);
    const auto innerEnd = std::chrono::steady_clock::now();
    const uint64_t end = ReadCounter();
    const double outer = std::chrono::duration<double>(std::chrono::steady_clock::now() - outerStart).count();
    const double inner = std::chrono::duration<double>(innerEnd - innerStart).count();
    EXPECT_GE(SecondsBetween(start, end), inner * 0.95 - 0.002);
    EXPECT_LE(SecondsBetween(start, end), outer * 1.05 + 0.002);

    uint32_t other = 0, otherProcess = 0;
    std::thread([&] { other = CurrentThreadId(), otherProcess = CurrentProcessId(); }).join();
    EXPECT_TRUE(CurrentThreadId() != 0 && other != 0 && other != CurrentThreadId());
    EXPECT_TRUE(CurrentProcessId() != 0 && otherProcess == CurrentProcessId());
    const int64_t system = std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch()).count();
    EXPECT_LE(std::abs(SecondsSinceEpoch(UtcTime()) - system), 120);
    EXPECT_LE(std::abs(SecondsSinceEpoch(LocalTime()) - system), 14 * 3600 + 120);
}

// Seconds a wait on `event` with the given timeout took.
double TimedWait(EventHandle* event, uint32_t timeoutMilliseconds) {
    const uint64_t start = ReadCounter();
    WaitEvent(event, timeoutMilliseconds);
    return SecondsBetween(start, ReadCounter());
}

TEST(PlatformThreadAndEvent, SignalsAreKeptOnceAndThreadsRunUntilTheirEntryReturns) {
    EventHandle* event = CreateAutoResetEvent();
    ASSERT_NE(event, nullptr);
    SignalEvent(event);
    SignalEvent(event);
    EXPECT_LT(TimedWait(event, 60000), 30.0);  // returns early only because of the signal
    EXPECT_GE(TimedWait(event, 200), 0.1);     // both signals were one

    // A started thread waits on the event: it stays active until signalled, then ends.
    struct Seen { EventHandle* event; uint32_t id = 0; std::atomic<bool> finished{false}; } seen{event};
    uint32_t threadId = 0;
    ThreadHandle* thread = StartThread([](void* argument) {
        auto* s = static_cast<Seen*>(argument);
        s->id = CurrentThreadId();
        WaitEvent(s->event, kWaitForever);
        s->finished.store(true);
    }, &seen, &threadId);
    ASSERT_NE(thread, nullptr);
    SetThreadPriorityValue(thread, 2);  // best effort, harmless
    SleepMilliseconds(20);
    EXPECT_TRUE(ThreadStillActive(thread) && !seen.finished.load());
    SignalEvent(event);
    for (int i = 0; i < 60000 && ThreadStillActive(thread); ++i) SleepMilliseconds(1);
    EXPECT_TRUE(seen.finished.load() && seen.id == threadId && threadId != CurrentThreadId());
    ReleaseThread(thread);
    DestroyEvent(event);

    // A thread can be kept to the first processor; one far beyond any machine's is refused.
    bool first = false, missing = true;
    std::thread([&] { first = PinCurrentThreadToProcessor(0), missing = PinCurrentThreadToProcessor(1u << 20); }).join();
    EXPECT_TRUE(first && !missing);
}

TEST(PlatformFiles, FoldersListingDeletionAndEnvironment) {
    const std::string root = (std::filesystem::temp_directory_path() /
                              ("vextrel_platform_" + std::to_string(CurrentProcessId()))).string();
    std::filesystem::remove_all(root);
    const auto child = [&](const std::string& name) { return root + kPathSeparator + name; };
    EXPECT_EQ(CreateFolder(root.c_str()), CreateFolderResult::kCreated);
    EXPECT_EQ(CreateFolder(root.c_str()), CreateFolderResult::kAlreadyExists);
    // One level at a time: a missing parent is a failure.
    EXPECT_EQ(CreateFolder((child("missing") + kPathSeparator + "child").c_str()), CreateFolderResult::kFailed);

    for (const char* name : {"Host_1.txt", "Host_2.txt", "Host.txt", "Hos_1.txt"}) std::ofstream(child(name)) << "x";
    ASSERT_EQ(CreateFolder(child("Host_folder").c_str()), CreateFolderResult::kCreated);
    std::filesystem::last_write_time(child("Host_1.txt"), std::filesystem::file_time_type::clock::now() - std::chrono::hours(1));
    std::map<std::string, uint64_t> seen;
    ListFolderByPrefix(root.c_str(), "Host_", [&](const char* name, uint64_t time) { seen[name] += time; });
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_TRUE(seen.count("Host_folder") && seen["Host_1.txt"] > 0u && seen["Host_1.txt"] < seen["Host_2.txt"]);

    EXPECT_TRUE(DeleteFilePath(child("Host_1.txt").c_str()));
    EXPECT_FALSE(PathExists(child("Host_1.txt").c_str()));
    EXPECT_FALSE(DeleteFilePath(child("Host_1.txt").c_str()));
    std::filesystem::remove_all(root);
    ASSERT_NE(EnvironmentValue("PATH"), nullptr);
    EXPECT_EQ(EnvironmentValue("VEXTREL_TEST_VARIABLE_THAT_IS_NEVER_SET"), nullptr);
}

}  // namespace
}  // namespace vextrel::platform
