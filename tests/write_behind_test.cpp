#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "core/manager.h"
#include "core/record_queue.h"
#include "core/trace_config.h"
#include "core/trace_entry.h"
#include "output/file_writer.h"
#include "output/queue_writer.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "support/core_fixture.h"
#include "support/environment.h"
#include "support/output_fixture.h"

using namespace vextrel;
using vextrel::testing::LineCollector;
using vextrel::testing::PublishedManager;
using vextrel::testing::ReadFile;
using vextrel::testing::ScopedEnvironment;
using vextrel::testing::TempFolder;

namespace {

const char* const kClosingLine = "\n\n *** Vextrel Log Complete ***\n";
const char* const kLostOutput =
    "!!!***!!! The trace writer couldn't keep up with the incoming trace requests.\n"
    "!!!***!!! Some of your trace output has been lost.  Try decreasing the amount of\n"
    "!!!***!!! trace output you are logging, or increasing the size of the trace buffer.\n";

// A configuration with a trace file in `folder` (named Host.txt), a client and a running writer.
// Quiet, so that lines are the bare texts. The user-name scrub is pinned to a name no test uses.
struct RunningConfig {
    explicit RunningConfig(const TempFolder& folder) : config(TraceConfig::Create()) {
        config->quiet.store(true);
        config->file.append = true;
        EXPECT_TRUE(config->file.OpenTraceFile(folder.Path().c_str(), "Host"));
        path = config->file.GetPath();
        config->client.AddClient(&client);
        queue = new RecordQueue;
        EXPECT_TRUE(StartQueueWriter(*queue, 4096, *config));
        config->SetQueue(queue);
    }
    ~RunningConfig() { delete config; }

    void Commit(const char* text, bool toConsole = false) {
        TraceRecord* record = ReserveRecord(*config);
        ASSERT_NE(record, nullptr);
        std::snprintf(record->text, sizeof record->text, "%s", text);
        CommitRecord(record, Acceptance{toConsole, true, true}, 1, 2, 0, 0, false, *config);
    }

    ScopedEnvironment user{platform::UserNameVariable(), "vx-nobody"};
    LineCollector client;
    TraceConfig* config;
    RecordQueue* queue;
    std::string path;
};

}  // namespace

// The file sees the line first; the console then replaces its newline with the terminator in
// the shared line, which is what the client sees last.
TEST(WriteRecord, HandsTheLineToFileThenConsoleThenClients) {
    struct RecordingWriter : FileWriter {
        explicit RecordingWriter(std::vector<std::string>* log) : FileWriter("", false), events(log) {}
        uint64_t Write(const char* text, uint64_t length) override {
            events->push_back("file:" + std::string(text, length));
            return length;
        }
        int Flush() override {
            events->push_back("flush");
            return 0;
        }
        std::vector<std::string>* events;
    };
    struct RecordingClient : TraceClient {
        void OnTraceLine(const char* line, uint32_t length) override {
            events->push_back("client:" + std::string(line, length));
        }
        std::vector<std::string>* events = nullptr;
    };
    std::vector<std::string> events;
    std::unique_ptr<TraceConfig> config(TraceConfig::Create());
    config->quiet.store(true);
    config->file.SetWriter(std::make_shared<RecordingWriter>(&events));
    RecordingClient client;
    client.events = &events;
    config->client.AddClient(&client);
    RecordQueue queue;
    ASSERT_TRUE(queue.AllocateRecords(4096));

    TraceRecord record;
    std::strcpy(record.text, "ordered");
    record.toFile = record.toConsole = record.toClient = 1;
    ::testing::internal::CaptureStdout();
    WriteRecordLine(*config, record);
    record.toFile = record.toConsole = 0;
    WriteRecordLine(*config, record);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "ordered\n");
    EXPECT_EQ(events, (std::vector<std::string>{"file:ordered\n", "flush", std::string("client:ordered\0", 15),
                                                "client:ordered\n"}));
}

// Losses are reported in the file right after the next record, once, and never on the console.
TEST(Writer, ReportsLostOutputOnceInTheFileAfterTheNextRecord) {
    TempFolder folder;
    {
        RunningConfig running(folder);
        ::testing::internal::CaptureStdout();
        running.queue->lostCount.Store(5);
        running.Commit("first", true);
        running.Commit("second", true);
        ASSERT_TRUE(running.client.WaitFor(2));
        EXPECT_EQ(running.queue->lostCount.Load(), 0u);
    }
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "first\nsecond\n");
    EXPECT_EQ(ReadFile(folder.Path() + "/Host.txt"), std::string("first\n") + kLostOutput + "second\n" + kClosingLine);
}

// A record the writer is busy with is finished; those still queued behind it when the stop comes
// are not written, and the closing line is the file's last.
// The writer drains what was committed before the stop, then closes the file; a writer stuck in a
// client past the stop wait owns its configuration from then on and frees it when it ends.
TEST(Writer, StoppingDrainsTheRingAndAStuckWriterFreesItsOwnConfiguration) {
    struct BlockingClient : TraceClient {
        void OnTraceLine(const char*, uint32_t) override {
            {
                std::unique_lock<std::mutex> guard(lock);
                entered = true;
                changed.notify_all();
                changed.wait(guard, [&] { return released; });
            }
            calls.fetch_add(1, std::memory_order_release);
        }
        void Release() {
            std::lock_guard<std::mutex> guard(lock);
            released = true;
            changed.notify_all();
        }
        std::mutex lock;
        std::condition_variable changed;
        bool entered = false;
        bool released = false;
        std::atomic<int> calls{0};
    };
    for (const bool stuck : {false, true}) {
        TempFolder folder;
        auto running = std::make_unique<RunningConfig>(folder);
        BlockingClient blocker;
        running->config->client.RemoveClient(&running->client);
        running->config->client.AddClient(&blocker);
        running->Commit("in hand");
        {
            std::unique_lock<std::mutex> guard(blocker.lock);
            blocker.changed.wait(guard, [&] { return blocker.entered; });
        }
        running->Commit("queued 1");
        running->Commit("queued 2");
        RecordQueue* queue = running->queue;
        if (stuck) queue->stopWaitMilliseconds = 50;
        TraceConfig* config = running->config;
        running->config = nullptr;  // destroyed below, by this thread or by its writer
        std::thread stopper([&] { DestroyConfig(config); });
        if (stuck) {
            stopper.join();
            queue->stopWaitMilliseconds = 5000;  // the writer's own drain, once unblocked, has time
        }
        while (queue->stopFlag.load() == 0) std::this_thread::yield();
        blocker.Release();
        if (!stuck) stopper.join();
        const std::string expected = std::string("in hand\nqueued 1\nqueued 2\n") + kClosingLine;
        for (int i = 0; i < 5000 && ReadFile(running->path) != expected; ++i) platform::SleepMilliseconds(1);
        EXPECT_EQ(ReadFile(running->path), expected) << stuck;
        // The blocker outlives every call into it.
        for (int i = 0; i < 5000 && blocker.calls.load(std::memory_order_acquire) < 3; ++i) platform::SleepMilliseconds(1);
    }
}

// A real writer thread and real trace calls give the exact line format in the trace file.
TEST(Writer, TraceCallsReachTheTraceFileInTheLineFormat) {
    struct ClockGuard {
        ClockGuard() { VextrelSetClockCallbackFunc([]() -> uint64_t { return 12345678; }); }
        ~ClockGuard() { VextrelSetClockCallbackFunc(nullptr); }
    } clock;
    ScopedEnvironment user(platform::UserNameVariable(), "vx-nobody");
    TempFolder folder;
    LineCollector client;
    {
        PublishedManager manager;
        TraceConfig* config = TraceConfig::Create();
        config->file.SetFacilityPriority(18, VXP_NORMAL);
        config->client.SetFacilityPriority(18, VXP_NORMAL);
        config->client.AddClient(&client);
        config->file.append = true;
        ASSERT_TRUE(config->file.OpenTraceFile(folder.Path().c_str(), "Host"));
        auto* queue = new RecordQueue;
        ASSERT_TRUE(StartQueueWriter(*queue, 0, *config));
        config->SetQueue(queue);
        AddConfig(manager.get(), config);
        manager->PublishConfigs();
        RebuildGlobalPriorityMap(manager.get(), false);

        VextrelFormat(VXF_WORD(18, VXP_HIGH), "value %d", 42);
        VextrelFormat(VXF_WORD(18, VXP_LOW), "below the level");
        config->name.Set("cfg");
        uint64_t start = 12000000;
        VextrelFormatTimestamp(&start, VXF_WORD(18, VXP_URGENT), "timed");
        ASSERT_TRUE(client.WaitFor(2));
    }
    char thread[16];
    std::snprintf(thread, sizeof thread, "%05lx", static_cast<unsigned long>(platform::CurrentThreadId()));
    EXPECT_EQ(ReadFile(folder.Path() + "/Host.txt"), std::string("12.345678,") + thread + ",0012: value 42\n" +
                                                         "12.345678," + thread + ",0012,nm=cfg: timed (345678 us)\n" +
                                                         kClosingLine);
}

TEST(RawThread, AnExceptionEndsTheThreadQuietly) {
    struct Throwing : XThreads_RawThread {
        void Run() override {
            ran.store(true);
            throw std::runtime_error("thread body failed");
        }
        std::atomic<bool> ran{false};
    } thread;
    thread.Start();
    EXPECT_NE(thread.ThreadId(), 0u);
    while (platform::ThreadStillActive(thread.GetHandle())) std::this_thread::yield();
    EXPECT_TRUE(thread.ran.load());
}
