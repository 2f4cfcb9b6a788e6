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
#include "output/file_writer.h"
#include "output/queue_writer.h"
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

// The file sees the line first; the console then replaces its newline with the terminator in
// the shared line, which is what the client sees last.
TEST(WriteRecord, HandsTheLineToFileThenConsoleThenClients) {
    struct Recorder : FileWriter, TraceClient {
        Recorder() : FileWriter("", false) {}
        uint64_t Write(const char* text, uint64_t length) override { return events.push_back("file:" + std::string(text, length)), length; }
        int Flush() override { return events.push_back("flush"), 0; }
        void OnTraceLine(const char* line, uint32_t length) override { events.push_back("client:" + std::string(line, length)); }
        std::vector<std::string> events;
    };
    auto recorder = std::make_shared<Recorder>();
    std::unique_ptr<TraceConfig> config(TraceConfig::Create());
    config->quiet.store(true);
    config->file.SetWriter(recorder);
    config->client.AddClient(recorder.get());
    TraceRecord record;
    std::strcpy(record.text, "ordered");
    record.toFile = record.toConsole = record.toClient = 1;
    ::testing::internal::CaptureStdout();
    WriteRecordLine(*config, record);
    record.toFile = record.toConsole = 0;
    WriteRecordLine(*config, record);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "ordered\n");
    EXPECT_EQ(recorder->events, (std::vector<std::string>{"file:ordered\n", "flush", std::string("client:ordered\0", 15),
                                                          "client:ordered\n"}));
}

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

// A record the writer is busy with is finished; those still queued behind it when the stop comes
// are not written, and the closing line is the file's last.
TEST(Writer, StoppingDropsQueuedRecordsAndClosesTheFile) {
    struct BlockingClient : TraceClient {
        void OnTraceLine(const char*, uint32_t) override {
            std::unique_lock<std::mutex> guard(lock);
            entered = true;
            changed.notify_all();
            changed.wait(guard, [&] { return released; });
        }
        std::mutex lock;
        std::condition_variable changed;
        bool entered = false, released = false;
    } blocker;
    ScopedEnvironment user(platform::UserNameVariable(), "vx-nobody");
    TempFolder folder;
    std::unique_ptr<TraceConfig> config(StartedConfig(folder, &blocker));
    for (const char* text : {"in hand", "queued 1", "queued 2"}) {
        Commit(*config, text);
        std::unique_lock<std::mutex> guard(blocker.lock);
        blocker.changed.wait(guard, [&] { return blocker.entered; });
    }
    RecordQueue* queue = config->Queue();
    std::thread stopper([&] { queue->Stop(); });
    while (queue->stopFlag.load() == 0) std::this_thread::yield();
    {
        std::lock_guard<std::mutex> guard(blocker.lock);
        blocker.released = true;
        blocker.changed.notify_all();
    }
    stopper.join();
    config->SetQueue(nullptr);  // stopped by hand: the configuration must not stop it again
    delete queue;
    EXPECT_EQ(ReadFile(folder.Path("Host.txt")), std::string("in hand\n") + kClosingLine);
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
