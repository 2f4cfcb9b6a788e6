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
    uint64_t previous = ReadCounter();
    for (int reading = 0; reading < 100000; ++reading) {
        const uint64_t now = ReadCounter();
        ASSERT_GE(now, previous) << reading;
        previous = now;
    }
    // Steady-clock readings around and inside the counter's interval bound it from both sides.
    const auto outerStart = std::chrono::steady_clock::now();
    const uint64_t start = ReadCounter();
    const auto innerStart = std::chrono::steady_clock::now();
    SleepMilliseconds(20);
    const auto innerEnd = std::chrono::steady_clock::now();
    const uint64_t end = ReadCounter();
    const auto outerEnd = std::chrono::steady_clock::now();
    const double inner = std::chrono::duration<double>(innerEnd - innerStart).count();
    EXPECT_GE(inner, 0.015);
    EXPECT_GE(SecondsBetween(start, end), inner * 0.95 - 0.002);
    EXPECT_LE(SecondsBetween(start, end), std::chrono::duration<double>(outerEnd - outerStart).count() * 1.05 + 0.002);

    const uint32_t mine = CurrentThreadId();
    uint32_t other = 0, otherProcess = 0;
    std::thread([&] { other = CurrentThreadId(), otherProcess = CurrentProcessId(); }).join();
    EXPECT_TRUE(mine != 0 && other != 0 && other != mine && CurrentThreadId() == mine);
    EXPECT_TRUE(CurrentProcessId() != 0 && otherProcess == CurrentProcessId());

    const int64_t system = std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch()).count();
    EXPECT_LE(std::abs(SecondsSinceEpoch(UtcTime()) - system), 120);
    EXPECT_LE(std::abs(SecondsSinceEpoch(LocalTime()) - SecondsSinceEpoch(UtcTime())), 14 * 3600 + 120);
}

// Seconds a wait on `event` with the given timeout took.
double TimedWait(EventHandle* event, uint32_t timeoutMilliseconds) {
    const uint64_t start = ReadCounter();
    WaitEvent(event, timeoutMilliseconds);
    return SecondsBetween(start, ReadCounter());
}

TEST(PlatformEvent, SignalsAreKeptOnceAndReleaseAWaiterOnAnotherThread) {
    EventHandle* event = CreateAutoResetEvent();
    ASSERT_NE(event, nullptr);
    SignalEvent(event);
    SignalEvent(event);
    EXPECT_LT(TimedWait(event, 60000), 30.0);  // returns early only because of the signal
    EXPECT_GE(TimedWait(event, 200), 0.1);     // both signals were one
    EXPECT_GE(TimedWait(event, 200), 0.1);     // a timeout leaves nothing behind

    std::atomic<bool> waiting{false}, released{false};
    double waited = 0.0;
    std::thread waiter([&] {
        waiting.store(true);
        waited = TimedWait(event, 60000);
        released.store(true);
    });
    while (!waiting.load()) std::this_thread::yield();
    SleepMilliseconds(20);
    EXPECT_FALSE(released.load()) << "the waiter returned before any signal";
    SignalEvent(event);
    waiter.join();
    EXPECT_LT(waited, 30.0);
    DestroyEvent(event);
}

// What a started thread saw; read only after the thread finished.
struct ThreadProbe {
    EventHandle* proceed = CreateAutoResetEvent();
    void* argumentSeen = nullptr;
    uint32_t idSeen = 0;
    std::atomic<bool> finished{false};
    ~ThreadProbe() { DestroyEvent(proceed); }
};

void ProbeEntry(void* argument) {
    auto* probe = static_cast<ThreadProbe*>(argument);
    probe->argumentSeen = argument;
    probe->idSeen = CurrentThreadId();
    WaitEvent(probe->proceed, kWaitForever);
    probe->finished.store(true);
}

// Polls until `done` holds; false when it still does not after a minute.
template <typename Done>
bool AwaitWithinAMinute(Done done) {
    const uint64_t start = ReadCounter();
    while (!done()) {
        if (SecondsBetween(start, ReadCounter()) > 60.0) return false;
        SleepMilliseconds(1);
    }
    return true;
}

TEST(PlatformThread, RunsTheEntryStaysActiveUntilItReturnsPinsAndRunsOnWhenReleased) {
    ThreadProbe probe;
    uint32_t threadId = 0;
    ThreadHandle* thread = StartThread(ProbeEntry, &probe, &threadId);
    ASSERT_NE(thread, nullptr);
    for (int priority : {2, -15, 0}) SetThreadPriorityValue(thread, priority);  // best effort, harmless
    EXPECT_TRUE(ThreadStillActive(thread));
    EXPECT_FALSE(probe.finished.load());
    SignalEvent(probe.proceed);
    ASSERT_TRUE(AwaitWithinAMinute([&] { return !ThreadStillActive(thread); }));
    EXPECT_TRUE(probe.finished.load() && probe.argumentSeen == &probe && probe.idSeen == threadId);
    EXPECT_NE(threadId, CurrentThreadId());
    ReleaseThread(thread);

    // A thread can be kept to the first processor; one far beyond any machine's is refused.
    bool first = false, missing = true;
    std::thread([&] { first = PinCurrentThreadToProcessor(0), missing = PinCurrentThreadToProcessor(1u << 20); }).join();
    EXPECT_TRUE(first);
    EXPECT_FALSE(missing);

    ThreadProbe released;
    thread = StartThread(ProbeEntry, &released, nullptr);
    ASSERT_NE(thread, nullptr);
    ReleaseThread(thread);
    SignalEvent(released.proceed);
    EXPECT_TRUE(AwaitWithinAMinute([&] { return released.finished.load(); }));
}

TEST(PlatformFiles, FoldersListingDeletionAndEnvironment) {
    const std::string root = (std::filesystem::temp_directory_path() /
                              ("vextrel_platform_" + std::to_string(CurrentProcessId()))).string();
    std::filesystem::remove_all(root);
    const auto child = [&](const std::string& name) { return root + kPathSeparator + name; };
    int visits = 0;
    ListFolderByPrefix(root.c_str(), "Host_", [&](const char*, uint64_t) { ++visits; });  // missing folder
    EXPECT_EQ(visits, 0);
    EXPECT_EQ(CreateFolder(root.c_str()), CreateFolderResult::kCreated);
    EXPECT_EQ(CreateFolder(root.c_str()), CreateFolderResult::kAlreadyExists);
    // One level at a time: a missing parent is a failure and creates nothing.
    const std::string grandChild = child("missing") + kPathSeparator + "child";
    EXPECT_EQ(CreateFolder(grandChild.c_str()), CreateFolderResult::kFailed);
    EXPECT_FALSE(PathExists(child("missing").c_str()));

    for (const char* name : {"Host_1.txt", "Host_2.txt", "Host.txt", "Other_1.txt", "Hos_1.txt"}) std::ofstream(child(name)) << "x";
    ASSERT_EQ(CreateFolder(child("Host_folder").c_str()), CreateFolderResult::kCreated);
    const auto now = std::filesystem::file_time_type::clock::now();
    std::filesystem::last_write_time(child("Host_1.txt"), now - std::chrono::hours(1));
    std::filesystem::last_write_time(child("Host_2.txt"), now);
    std::map<std::string, uint64_t> seen;
    ListFolderByPrefix(root.c_str(), "Host_", [&](const char* name, uint64_t time) {
        EXPECT_TRUE(seen.emplace(name, time).second) << "listed twice: " << name;
    });
    ASSERT_EQ(seen.size(), 3u);
    ASSERT_TRUE(seen.count("Host_1.txt") && seen.count("Host_2.txt") && seen.count("Host_folder"));
    EXPECT_GT(seen["Host_1.txt"], 0u);
    EXPECT_LT(seen["Host_1.txt"], seen["Host_2.txt"]);

    EXPECT_TRUE(DeleteFilePath(child("Host_1.txt").c_str()));
    EXPECT_FALSE(PathExists(child("Host_1.txt").c_str()));
    EXPECT_FALSE(DeleteFilePath(child("Host_1.txt").c_str()));
    std::filesystem::remove_all(root);

    ASSERT_NE(EnvironmentValue("PATH"), nullptr);
    EXPECT_NE(EnvironmentValue("PATH")[0], '\0');
    EXPECT_EQ(EnvironmentValue("VEXTREL_TEST_VARIABLE_THAT_IS_NEVER_SET"), nullptr);
}

}  // namespace
}  // namespace vextrel::platform
