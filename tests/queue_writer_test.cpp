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

#include "core/record_queue.h"
#include "core/trace_config.h"
#include "core/trace_entry.h"
#include "output/queue_writer.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "support/environment.h"
#include "support/output_fixture.h"

using namespace vextrel;
using vextrel::testing::LineCollector;
using vextrel::testing::ReadFile;
using vextrel::testing::ScopedEnvironment;
using vextrel::testing::TempFolder;

namespace {

const char* const kClosingLine = "\n\n *** Vextrel Log Complete ***\n";

// A quiet configuration that writes to Host.txt in `folder` and to `client`, with a running writer.
TraceConfig* StartedConfig(const TempFolder& folder, TraceClient* client) {
    TraceConfig* config = TraceConfig::Create();
    config->client.AddClient(client);
    config->file.append = true;
    EXPECT_TRUE(config->file.OpenTraceFile(folder.Path().c_str(), "Host"));
    config->quiet.store(true);
    auto* queue = new RecordQueue;
    EXPECT_TRUE(StartQueueWriter(*queue, 0, *config));
    config->SetQueue(queue);
    return config;
}

// Queues `text` for the file and the clients (and the console when asked).
void Commit(TraceConfig& config, const char* text, bool toConsole = false) {
    TraceRecord* record = ReserveRecord(config);
    ASSERT_NE(record, nullptr);
    std::snprintf(record->text, sizeof record->text, "%s", text);
    CommitRecord(record, Acceptance{toConsole, true, true}, 1, 2, 0, 0, false, config);
}

}  // namespace


// Losses are reported in the file once, right after the next record, and never on the console.
TEST(Writer, ReportsLostOutputOnceInTheFileAfterTheNextRecord) {
    ScopedEnvironment user(platform::UserNameVariable(), "vx-nobody");
    TempFolder folder;
    LineCollector client;
    ::testing::internal::CaptureStdout();
    {
        std::unique_ptr<TraceConfig> config(StartedConfig(folder, &client));
        config->Queue()->lostCount.Store(5);
        for (const char* text : {"first", "second"}) Commit(*config, text, true);
        ASSERT_TRUE(client.WaitFor(2));
        EXPECT_EQ(config->Queue()->lostCount.Load(), 0u);
    }
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "first\nsecond\n");
    EXPECT_EQ(ReadFile(folder.Path("Host.txt")),
              "first\n"
              "!!!***!!! The trace writer couldn't keep up with the incoming trace requests.\n"
              "!!!***!!! Some of your trace output has been lost.  Try decreasing the amount of\n"
              "!!!***!!! trace output you are logging, or increasing the size of the trace buffer.\n"
              "second\n" + std::string(kClosingLine));
}


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
        bool entered = false, released = false;
        std::atomic<int> calls{0};
    };
    ScopedEnvironment user(platform::UserNameVariable(), "vx-nobody");
    for (const bool stuck : {false, true}) {
        BlockingClient blocker;
        TempFolder folder;
        TraceConfig* config = StartedConfig(folder, &blocker);
        for (const char* text : {"in hand", "queued 1", "queued 2"}) {
            Commit(*config, text);
            std::unique_lock<std::mutex> guard(blocker.lock);
            blocker.changed.wait(guard, [&] { return blocker.entered; });
        }
        RecordQueue* queue = config->Queue();
        if (stuck) queue->stopWaitMilliseconds = 50;
        std::thread stopper([&] { DestroyConfig(config); });  // by this thread, or by its stuck writer
        if (stuck) {
            stopper.join();
            queue->stopWaitMilliseconds = 5000;  // the writer's own drain, once unblocked, has time
        }
        while (queue->stopFlag.load() == 0) std::this_thread::yield();
        blocker.Release();
        if (!stuck) stopper.join();
        const std::string expected = std::string("in hand\nqueued 1\nqueued 2\n") + kClosingLine;
        for (int i = 0; i < 5000 && ReadFile(folder.Path("Host.txt")) != expected; ++i) platform::SleepMilliseconds(1);
        EXPECT_EQ(ReadFile(folder.Path("Host.txt")), expected) << stuck;
        // The blocker outlives every call into it.
        for (int i = 0; i < 5000 && blocker.calls.load(std::memory_order_acquire) < 3; ++i) platform::SleepMilliseconds(1);
    }
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
