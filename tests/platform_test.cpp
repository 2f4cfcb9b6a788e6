// The operating-system layer: counter, thread and process ids, calendar time, auto-reset events,
// threads, folders and files. The same checks run on Linux and on Windows (under Wine).
#include "platform/platform.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <thread>

namespace vextrel::platform {
namespace {

// Seconds between two counter readings.
double SecondsBetween(uint64_t start, uint64_t end) {
    return static_cast<double>(end - start) / static_cast<double>(CounterFrequency());
}

// Seconds since 1970-01-01 for a calendar time taken as UTC.
int64_t SecondsSinceEpoch(const CalendarTime& time) {
    using namespace std::chrono;
    const sys_days date = year_month_day{year{time.year}, month{static_cast<unsigned>(time.month)},
                                         day{static_cast<unsigned>(time.day)}};
    return date.time_since_epoch().count() * 86400LL + time.hour * 3600LL + time.minute * 60LL + time.second;
}

// Waits, by polling, until the thread has finished; false when it still runs after a minute.
bool WaitUntilFinished(ThreadHandle* thread) {
    const uint64_t start = ReadCounter();
    while (ThreadStillActive(thread)) {
        if (SecondsBetween(start, ReadCounter()) > 60.0) return false;
        SleepMilliseconds(1);
    }
    return true;
}

TEST(PlatformClock, CounterNeverGoesBackwards) {
    uint64_t previous = ReadCounter();
    for (int reading = 0; reading < 100000; ++reading) {
        const uint64_t now = ReadCounter();
        ASSERT_GE(now, previous) << "reading " << reading;
        previous = now;
    }
}

TEST(PlatformClock, FrequencyMatchesTheSteadyClockAcrossASleep) {
    ASSERT_GT(CounterFrequency(), 0u);
    // Steady-clock readings around and inside the counter's interval bound it from both sides,
    // whatever the load: a wrong frequency puts the counted seconds outside.
    const auto outerStart = std::chrono::steady_clock::now();
    const uint64_t start = ReadCounter();
    const auto innerStart = std::chrono::steady_clock::now();
    SleepMilliseconds(20);
    const auto innerEnd = std::chrono::steady_clock::now();
    const uint64_t end = ReadCounter();
    const auto outerEnd = std::chrono::steady_clock::now();
    const double counted = SecondsBetween(start, end);
    const double inner = std::chrono::duration<double>(innerEnd - innerStart).count();
    const double outer = std::chrono::duration<double>(outerEnd - outerStart).count();
    EXPECT_GE(inner, 0.015) << "the sleep was much shorter than 20 ms";
    EXPECT_GE(counted, inner * 0.95 - 0.002);
    EXPECT_LE(counted, outer * 1.05 + 0.002);
}

TEST(PlatformClock, ThreadIdsAreStablePerThreadAndDistinctAcrossThreads) {
    const uint32_t mine = CurrentThreadId();
    EXPECT_NE(mine, 0u);
    EXPECT_EQ(CurrentThreadId(), mine);
    EXPECT_NE(CurrentProcessId(), 0u);
    uint32_t other = 0;
    uint32_t otherProcess = 0;
    std::thread([&] {
        other = CurrentThreadId();
        otherProcess = CurrentProcessId();
    }).join();
    EXPECT_NE(other, 0u);
    EXPECT_NE(other, mine);
    EXPECT_EQ(otherProcess, CurrentProcessId());
}

TEST(PlatformClock, UtcTimeAgreesWithTheSystemClockAndLocalTimeIsWithinAZoneOffset) {
    const CalendarTime utc = UtcTime();
    const CalendarTime local = LocalTime();
    const int64_t systemSeconds =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch()).count();
    EXPECT_LE(std::abs(SecondsSinceEpoch(utc) - systemSeconds), 120);
    EXPECT_LE(std::abs(SecondsSinceEpoch(local) - SecondsSinceEpoch(utc)), 14 * 3600 + 120);
}

// An auto-reset event created and destroyed around each test.
class PlatformEvent : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(event_ = CreateAutoResetEvent(), nullptr); }
    void TearDown() override {
        if (event_ != nullptr) DestroyEvent(event_);
    }

    // Seconds a wait with the given timeout took.
    double TimedWait(uint32_t timeoutMilliseconds) {
        const uint64_t start = ReadCounter();
        WaitEvent(event_, timeoutMilliseconds);
        return SecondsBetween(start, ReadCounter());
    }

    EventHandle* event_ = nullptr;
};

TEST_F(PlatformEvent, SignalBeforeTheWaitIsKeptOnceAndSignalsDoNotQueue) {
    SignalEvent(event_);
    SignalEvent(event_);
    // Returns long before its minute-long timeout only because of the signal.
    EXPECT_LT(TimedWait(60000), 30.0);
    // Both signals were one: this wait finds the event reset and runs into its timeout.
    EXPECT_GE(TimedWait(200), 0.1);
    // A timeout leaves nothing behind either.
    EXPECT_GE(TimedWait(200), 0.1);
}

TEST_F(PlatformEvent, SignalReleasesAWaiterOnAnotherThread) {
    std::atomic<bool> waiting{false};
    std::atomic<bool> released{false};
    double waited = 0.0;
    std::thread waiter([&] {
        waiting.store(true);
        waited = TimedWait(60000);
        released.store(true);
    });
    while (!waiting.load()) std::this_thread::yield();
    SleepMilliseconds(20);
    EXPECT_FALSE(released.load()) << "the waiter returned before any signal";
    SignalEvent(event_);
    waiter.join();
    EXPECT_TRUE(released.load());
    EXPECT_LT(waited, 30.0);
}

// What a started thread saw; the test thread reads it only after the thread signalled or finished.
struct ThreadProbe {
    EventHandle* proceed = nullptr;   // the thread waits for it before finishing, when set
    void* argumentSeen = nullptr;
    uint32_t idSeen = 0;
    std::atomic<bool> finished{false};
};

void ProbeEntry(void* argument) {
    ThreadProbe* probe = static_cast<ThreadProbe*>(argument);
    probe->argumentSeen = argument;
    probe->idSeen = CurrentThreadId();
    if (probe->proceed != nullptr) WaitEvent(probe->proceed, kWaitForever);
    probe->finished.store(true);
}

TEST(PlatformThread, RunsTheEntryAndStaysActiveUntilItReturns) {
    ThreadProbe probe;
    probe.proceed = CreateAutoResetEvent();
    ASSERT_NE(probe.proceed, nullptr);
    uint32_t threadId = 0;
    ThreadHandle* thread = StartThread(ProbeEntry, &probe, &threadId);
    ASSERT_NE(thread, nullptr);
    // Priority changes are best effort; they must not disturb the thread.
    SetThreadPriorityValue(thread, 2);
    SetThreadPriorityValue(thread, -15);
    SetThreadPriorityValue(thread, 0);
    // The thread cannot finish before the event is signalled.
    EXPECT_TRUE(ThreadStillActive(thread));
    EXPECT_FALSE(probe.finished.load());
    SignalEvent(probe.proceed);
    ASSERT_TRUE(WaitUntilFinished(thread));
    EXPECT_TRUE(probe.finished.load());
    EXPECT_EQ(probe.argumentSeen, &probe);
    EXPECT_EQ(probe.idSeen, threadId);
    EXPECT_NE(threadId, CurrentThreadId());
    ReleaseThread(thread);
    DestroyEvent(probe.proceed);
}

TEST(PlatformThread, ReleasedThreadGoesOnRunning) {
    ThreadProbe probe;
    probe.proceed = CreateAutoResetEvent();
    ASSERT_NE(probe.proceed, nullptr);
    ThreadHandle* thread = StartThread(ProbeEntry, &probe, nullptr);
    ASSERT_NE(thread, nullptr);
    ReleaseThread(thread);
    SignalEvent(probe.proceed);
    const uint64_t start = ReadCounter();
    while (!probe.finished.load() && SecondsBetween(start, ReadCounter()) < 60.0) SleepMilliseconds(1);
    // Setting the flag is the thread's last access to the probe and the event.
    EXPECT_TRUE(probe.finished.load());
    DestroyEvent(probe.proceed);
}

// A folder of its own under the system's temporary folder, removed after each test.
class PlatformFiles : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string name = std::string("vextrel_platform_") + std::to_string(CurrentProcessId()) + "_" +
                                 ::testing::UnitTest::GetInstance()->current_test_info()->name();
        root_ = (std::filesystem::temp_directory_path() / name).string();
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }

    std::string Child(const std::string& name) const { return root_ + kPathSeparator + name; }

    void WriteFile(const std::string& path) { std::ofstream(path) << "x"; }

    std::string root_;
};

TEST_F(PlatformFiles, CreateFolderTellsCreatedFromExistingFromFailed) {
    EXPECT_FALSE(PathExists(root_.c_str()));
    EXPECT_EQ(CreateFolder(root_.c_str()), CreateFolderResult::kCreated);
    EXPECT_TRUE(PathExists(root_.c_str()));
    EXPECT_EQ(CreateFolder(root_.c_str()), CreateFolderResult::kAlreadyExists);

    // One level at a time: a missing parent is a failure and creates nothing.
    const std::string missingParent = Child("missing");
    const std::string grandChild = missingParent + kPathSeparator + "child";
    EXPECT_EQ(CreateFolder(grandChild.c_str()), CreateFolderResult::kFailed);
    EXPECT_FALSE(PathExists(missingParent.c_str()));
    EXPECT_EQ(CreateFolder(missingParent.c_str()), CreateFolderResult::kCreated);
    EXPECT_EQ(CreateFolder(grandChild.c_str()), CreateFolderResult::kCreated);
}

TEST_F(PlatformFiles, ListsEntriesByPrefixWithTheirLastWriteTimes) {
    ASSERT_EQ(CreateFolder(root_.c_str()), CreateFolderResult::kCreated);
    for (const char* name : {"Host_1.txt", "Host_2.txt", "Host.txt", "Other_1.txt", "Hos_1.txt"}) WriteFile(Child(name));
    ASSERT_EQ(CreateFolder(Child("Host_folder").c_str()), CreateFolderResult::kCreated);
    // Host_1 is an hour older than Host_2.
    const auto now = std::filesystem::file_time_type::clock::now();
    std::filesystem::last_write_time(Child("Host_1.txt"), now - std::chrono::hours(1));
    std::filesystem::last_write_time(Child("Host_2.txt"), now);

    std::map<std::string, uint64_t> seen;
    ListFolderByPrefix(root_.c_str(), "Host_", [&](const char* name, uint64_t lastWriteTime) {
        EXPECT_TRUE(seen.emplace(name, lastWriteTime).second) << "listed twice: " << name;
    });
    ASSERT_EQ(seen.size(), 3u);
    ASSERT_TRUE(seen.count("Host_1.txt"));
    ASSERT_TRUE(seen.count("Host_2.txt"));
    ASSERT_TRUE(seen.count("Host_folder"));
    EXPECT_GT(seen["Host_1.txt"], 0u);
    EXPECT_LT(seen["Host_1.txt"], seen["Host_2.txt"]);
}

TEST_F(PlatformFiles, ListingAMissingFolderOrAnUnmatchedPrefixVisitsNothing) {
    int visits = 0;
    const auto count = [&](const char*, uint64_t) { ++visits; };
    ListFolderByPrefix(root_.c_str(), "Host_", count);
    ASSERT_EQ(CreateFolder(root_.c_str()), CreateFolderResult::kCreated);
    WriteFile(Child("Other_1.txt"));
    ListFolderByPrefix(root_.c_str(), "Host_", count);
    EXPECT_EQ(visits, 0);
}

TEST_F(PlatformFiles, DeleteRemovesAFileOnce) {
    ASSERT_EQ(CreateFolder(root_.c_str()), CreateFolderResult::kCreated);
    const std::string file = Child("Host_1.txt");
    WriteFile(file);
    ASSERT_TRUE(PathExists(file.c_str()));
    EXPECT_TRUE(DeleteFilePath(file.c_str()));
    EXPECT_FALSE(PathExists(file.c_str()));
    EXPECT_FALSE(DeleteFilePath(file.c_str()));
}

TEST(PlatformEnvironment, ReadsSetVariablesAndReportsUnsetOnesAsNull) {
    const char* path = EnvironmentValue("PATH");
    ASSERT_NE(path, nullptr);
    EXPECT_NE(path[0], '\0');
    EXPECT_EQ(EnvironmentValue("VEXTREL_TEST_VARIABLE_THAT_IS_NEVER_SET"), nullptr);
}

}  // namespace
}  // namespace vextrel::platform
