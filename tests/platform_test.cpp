// The operating-system layer: counter, ids, calendar time, auto-reset events and threads; folders
// and files are exercised by the trace-file and retention tests. The same checks run on Linux and
// on Windows (under Wine).
#include "platform/platform.h"
#include "platform/barrier.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>
#include <vector>

#include "platform/pages.h"

namespace vextrel::platform {
namespace {

double SecondsBetween(uint64_t start, uint64_t end) {
    return static_cast<double>(end - start) / static_cast<double>(CounterFrequency());
}

int64_t SecondsSinceEpoch(const CalendarTime& t) {
    using namespace std::chrono;
    const sys_days date =
        year_month_day{year{t.year}, month{static_cast<unsigned>(t.month)}, day{static_cast<unsigned>(t.day)}};
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
    EXPECT_NE(CurrentThreadId(), 0u);
    EXPECT_NE(other, 0u);
    EXPECT_NE(other, CurrentThreadId());
    EXPECT_NE(CurrentProcessId(), 0u);
    EXPECT_EQ(otherProcess, CurrentProcessId());
    const int64_t system =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch()).count();
    EXPECT_LE(std::abs(SecondsSinceEpoch(UtcTime()) - system), 120);
    EXPECT_LE(std::abs(SecondsSinceEpoch(LocalTime()) - system), 14 * 3600 + 120);
}

// A trace call's reader slot relies on the process-wide barrier: it is there on both systems (under
// Wine too, where the system's own call does nothing), except under the thread sanitizer, which
// cannot see it.
TEST(PlatformBarrier, TheProcessWideBarrierIsThereOutsideTheThreadSanitizer) {
#if defined(VEXTREL_PLATFORM_THREAD_SANITIZER)
    GTEST_SKIP() << "the thread sanitizer keeps the sequentially consistent operations";
#else
    EXPECT_TRUE(HeavyBarrierAvailable());
#endif
}

// The thread cache is the calling thread's own: what a thread writes, it reads back, and a thread
// started meanwhile reads null.
TEST(PlatformClock, TheThreadCacheBelongsToTheThreadThatWroteIt) {
    int marker = 0;
    void* written = nullptr;
    void* other = &marker;
    std::thread([&] {
        WriteThreadCache(&marker);
        std::thread([&] { other = ReadThreadCache(); }).join();
        written = ReadThreadCache();
        WriteThreadCache(nullptr);
    }).join();
    EXPECT_EQ(written, &marker);
    EXPECT_EQ(other, nullptr);
}

#ifndef _WIN32
// A forked child's thread is not the forking thread: it must neither keep that thread's id nor the
// pointer cached for it (the reclamation guard's reader slot of the parent's thread).
TEST(PlatformClock, AForkedChildAsksForItsIdAndItsCacheAgain) {
    int marker = 0;
    void* const before = ReadThreadCache();
    if (before == nullptr) WriteThreadCache(&marker);
    CurrentThreadId();
    const pid_t child = fork();
    if (child == 0) {
        const int idKept = CurrentThreadId() != static_cast<uint32_t>(getpid()) ? 1 : 0;
        const int cacheKept = ReadThreadCache() != nullptr ? 2 : 0;
        _exit(idKept | cacheKept);
    }
    WriteThreadCache(before);
    ASSERT_GT(child, 0);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status) & 1, 0) << "the child kept the parent thread's id";
    EXPECT_EQ(WEXITSTATUS(status) & 2, 0) << "the child kept the parent thread's cache";
}
#endif

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
    struct Seen {
        EventHandle* event;
        uint32_t id = 0;
        std::atomic<bool> finished{false};
    } seen{event};
    uint32_t threadId = 0;
    ThreadHandle* thread = StartThread(
        [](void* argument) {
            auto* s = static_cast<Seen*>(argument);
            s->id = CurrentThreadId();
            WaitEvent(s->event, kWaitForever);
            s->finished.store(true);
        },
        &seen, &threadId);
    ASSERT_NE(thread, nullptr);
    SleepMilliseconds(20);
    EXPECT_TRUE(ThreadStillActive(thread));
    EXPECT_FALSE(seen.finished.load());
    SignalEvent(event);
    for (int i = 0; i < 60000 && ThreadStillActive(thread); ++i) SleepMilliseconds(1);
    EXPECT_TRUE(seen.finished.load());
    EXPECT_EQ(seen.id, threadId);
    EXPECT_NE(threadId, CurrentThreadId());
    ReleaseThread(thread);
    DestroyEvent(event);
}

// A block the size of a ring (not a whole number of 2 MB pages): every page is in memory before
// anything touches it, so that a trace call writing into it never waits for the system, and it
// reads as zeros throughout.
TEST(PlatformPages, ARingSizedBlockIsResidentAndZeroed) {
    constexpr size_t kBytes = 4096 * 576;
    char* block = static_cast<char*>(AllocatePages(kBytes));
    ASSERT_NE(block, nullptr);
#ifndef _WIN32
    constexpr size_t kPage = 4096;
    std::vector<unsigned char> pages(kBytes / kPage);
    ASSERT_EQ(mincore(block, kBytes, pages.data()), 0);
    EXPECT_EQ(std::count_if(pages.begin(), pages.end(), [](unsigned char page) { return (page & 1) == 0; }), 0);
#endif
    EXPECT_EQ(static_cast<size_t>(std::count(block, block + kBytes, '\0')), kBytes);
    FreePages(block, kBytes);
}

}  // namespace
}  // namespace vextrel::platform
