// The writer: the thread that drains a configuration's ring, the file writer and the file tracer
// behind it, and what reaches the trace file when losses, a stop, the user's name, a full disk or a
// replaced file get in the way.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "core/reclaim.h"
#include "output/file_writer.h"
#include "output/queue_writer.h"
#include "output/trace_file.h"
#include "output/user_name_scrub.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/thread.h"
#include "support/environment.h"
#include "support/output_fixture.h"
#include "support/record_queue_peer.h"

using namespace vextrel;
using namespace vextrel::testing;

namespace {

const char* const kClosingLine = "\n\n *** Vextrel Log Complete ***\n";

// A quiet configuration that writes to Host.txt in `folder` and to `client`, with a running writer.
TraceConfig* StartedConfig(const TempFolder& folder, TraceClient* client) {
    TraceConfig* config = TraceConfig::Create();
    config->client.AddClient(client);
    config->file.append = true;
    EXPECT_TRUE(OpenTraceFile(config->file, folder.Path().c_str(), "Host"));
    config->quiet.store(true);
    StartWriter(*config);
    return config;
}

// A writer whose stream the test can exchange for a device that is always full.
struct SwappableWriter final : FileWriter {
    using FileWriter::FileWriter;
    std::FILE* Use(std::FILE* stream) { return std::exchange(stream_, stream); }
};

}  // namespace

// Losses are reported in the file once, right after the next record, and never on the console.
TEST(Writer, ReportsLostOutputOnceInTheFileAfterTheNextRecord) {
    ScopedEnvironment user(platform::UserNameVariable(), "vx-nobody");
    TempFolder folder;
    LineCollector client;
    ::testing::internal::CaptureStdout();
    {
        std::unique_ptr<TraceConfig> config(StartedConfig(folder, &client));
        RecordQueuePeer::SetLostCount(*config->Queue(), 5);
        for (const char* text : {"first", "second"}) CommitText(*config, text, {true, true, true});
        ASSERT_TRUE(client.WaitFor(2));
        EXPECT_EQ(RecordQueuePeer::LostCount(*config->Queue()), 0u);
    }
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "first\nsecond\n");
    EXPECT_EQ(ReadFile(folder.Path("Host.txt")),
              "first\n"
              "!!!***!!! The trace writer couldn't keep up with the incoming trace requests.\n"
              "!!!***!!! Some of your trace output has been lost.  Try decreasing the amount of\n"
              "!!!***!!! trace output you are logging, or increasing the size of the trace buffer.\n"
              "second\n" +
                  std::string(kClosingLine));
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
            CommitText(*config, text);
            std::unique_lock<std::mutex> guard(blocker.lock);
            blocker.changed.wait(guard, [&] { return blocker.entered; });
        }
        RecordQueue* queue = config->Queue();
        if (stuck) RecordQueuePeer::SetStopWait(*queue, 50);
        std::thread stopper([&] { DestroyConfig(config); });  // by this thread, or by its stuck writer
        if (stuck) {
            stopper.join();
            RecordQueuePeer::SetStopWait(*queue, 5000);  // the writer's own drain, once unblocked, has time
        }
        while (!queue->Stopping()) std::this_thread::yield();
        blocker.Release();
        if (!stuck) stopper.join();
        const std::string expected = std::string("in hand\nqueued 1\nqueued 2\n") + kClosingLine;
        for (int i = 0; i < 5000 && ReadFile(folder.Path("Host.txt")) != expected; ++i) platform::SleepMilliseconds(1);
        EXPECT_EQ(ReadFile(folder.Path("Host.txt")), expected) << stuck;
        // The blocker outlives every call into it.
        for (int i = 0; i < 5000 && blocker.calls.load(std::memory_order_acquire) < 3; ++i)
            platform::SleepMilliseconds(1);
        if (stuck) {
            // The abandoned writer retired its owner as its last step: freed and joined as an unload does.
            AwaitAbandonedWriters();
            ReclaimRetiredWaiting(1000);
            platform::AwaitReleasedThreads();
        }
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

TEST(FileWriter, TruncatesAppendsScrubsTheUserNameAndFailsWithoutAFolder) {
    TempFolder folder;
    const std::string path = folder.Path("trace.txt");
    // Writes `line` into a fresh file (or appends); returns the count written and checks the caller's text stayed.
    auto write = [&](const std::string& line, bool append = false) {
        FileWriter writer(path.c_str(), append);
        EXPECT_TRUE(writer.Open());
        std::string text = line;
        const uint64_t written = writer.Write(text.data(), append ? static_cast<uint64_t>(int64_t{-1}) : text.size());
        EXPECT_EQ(text, line);
        return written;
    };
    ScopedEnvironment user(platform::UserNameVariable(), "jdoe");
    write("one\n");
    EXPECT_EQ(write(std::string("jdoe\0 never past the terminator", 32), true),
              4u + 4u);  // a negative length reads to the terminator
    EXPECT_EQ(ReadFile(path), "one\nusername");
    EXPECT_EQ(write("jdoe as jdoe, not JDoe\n"), 23u + 2 * 4u);
    EXPECT_EQ(ReadFile(path), "username as username, not JDoe\n");
    {
        // A name inside the replacement word is replaced once per occurrence, then the scrub ends.
        ScopedEnvironment inside(platform::UserNameVariable(), "name");
        write("name: username\n");
        EXPECT_EQ(ReadFile(path), "username: userusername\n");
    }
    for (const char* unset : {static_cast<const char*>(nullptr), ""}) {
        ScopedEnvironment none(platform::UserNameVariable(), unset);
        write("nothing to hide\n");
        EXPECT_EQ(ReadFile(path), "nothing to hide\n");
    }
    {
        // The name is read once, when the writer is made.
        FileWriter early(path.c_str(), false);
        ASSERT_TRUE(early.Open());
        ScopedEnvironment later(platform::UserNameVariable(), "other");
        early.Write("jdoe other\n", 11);
    }
    EXPECT_EQ(ReadFile(path), "username other\n");
    char scratch[16];
    std::memset(scratch, '#', sizeof scratch);
    // "xx " and three letters of "username" fill six bytes; the newline takes the last one.
    EXPECT_EQ(ScrubUserName("xx a b\n", "a", scratch, 6), "xx us\n");
    EXPECT_EQ(std::string(scratch + 6, 10), std::string(10, '#')) << "written past the buffer";

    {
        // A writer thread ended inside a line: of that line only what the file lacks is written,
        // straight to the file.
        FileWriter ended(path.c_str(), false);
        ASSERT_TRUE(ended.Open());
        ended.Write("kept\nhalf", 9);
        ended.BypassStream();
        for (const uint64_t missing : {6u, 0u}) EXPECT_EQ(ended.WriteMissingPart("half line\n", 10), missing);
        ended.Write("next\n", 5);
        // A block of lines cut inside its second line: only the rest goes in.
        ended.Write("a\nb", 3);
        EXPECT_EQ(ended.WriteBlock("a\nbc\nd\n", 7, true), 4u);
    }
    EXPECT_EQ(ReadFile(path), "kept\nhalf line\nnext\na\nbc\nd\n");

    FileWriter missing(folder.Path("no-such-level/trace.txt").c_str(), false);
    EXPECT_FALSE(missing.Open());
    EXPECT_EQ(missing.Write("lost\n", 5), 0u);
    EXPECT_EQ(missing.Flush(), EOF);
}

// A full disk: every flush fails, yet the writer goes on draining and delivering to clients; the file
// lacks the lines written while it was full, the cut line is ended and the gap reported.
TEST(FileWriter, AFullDiskStopsNeitherTheWriterNorProducersAndItsGapIsReported) {
    if (!platform::PathExists("/dev/full")) GTEST_SKIP() << "no always-full device here";
    auto fullWriter = std::make_shared<FileWriter>("/dev/full", false);
    ASSERT_TRUE(fullWriter->Open());
    std::unique_ptr<TraceConfig> config(TraceConfig::Create());
    config->file.SetWriter(fullWriter);
    LineCollector client;
    config->client.AddClient(&client);
    StartWriter(*config);
    for (uint32_t i = 0; i < 3000; ++i) CommitText(*config, "line " + std::to_string(i), {false, true, true}, true);
    ASSERT_TRUE(client.WaitFor(3000));
    EXPECT_EQ(client.Lines().back(), "line 2999\n");

    TempFolder folder;
    const std::string path = folder.Path("trace.txt");
    SwappableWriter writer(path.c_str(), false);
    ASSERT_TRUE(writer.Open());
    writer.Write("first\n", 6);
    std::FILE* full = std::fopen("/dev/full", "w");
    std::FILE* file = writer.Use(full);
    std::fputs("torn li", file);  // what reached the disk of the line being written
    writer.Write("torn line\n", 10);
    EXPECT_EQ(writer.Flush(), EOF);
    EXPECT_EQ(writer.Write("dropped\n", 8), 0u);
    writer.Use(file);  // space returns
    writer.Write("after\n", 6);
    writer.Flush();
    std::fclose(full);
    std::string expected = "first\ntorn li\n";
    for (const char* line : kLostOutputLines) expected += line;
    EXPECT_EQ(ReadFile(path), expected + "after\n");
}

TEST(FileTracer, ReplacingTheFileWhileTheWriterWritesLosesAndSplitsNoLine) {
    TempFolder folder;
    auto path = [&](int n) { return folder.Path("t" + std::to_string(n) + ".txt"); };
    auto openFile = [&](int n) {
        auto writer = std::make_shared<FileWriter>(path(n).c_str(), false);
        EXPECT_TRUE(writer->Open());
        return writer;
    };
    constexpr int kLines = 8000, kSwaps = 40;
    FileTracer tracer;
    tracer.SetWriter(openFile(0));
    std::atomic<int> written{0};
    std::thread writerThread([&] {
        for (int i = 0; i < kLines; ++i) {
            tracer.WriteBlock("line\n", 5);
            written.fetch_add(1);
        }
    });
    // Each replacement lands while the writer is mid-stream; the old file closes as it is let go.
    for (int swap = 1; swap <= kSwaps; ++swap) {
        while (written.load() < swap * kLines / (kSwaps + 1)) std::this_thread::yield();
        tracer.SetWriter(openFile(swap));
    }
    writerThread.join();
    tracer.CloseTraceFile();
    size_t lines = 0;
    for (int n = 0; n <= kSwaps; ++n) {
        const std::string text = ReadFile(path(n));  // text mode: no CR on any target
        lines += static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
        EXPECT_EQ(text.size() % 5, 0u) << n;
    }
    EXPECT_EQ(lines, static_cast<size_t>(kLines));
}

// The crash path's drain: once it returns, every record committed before it is in the file, though
// the writer gathers lines in its own buffer; a record reserved and never committed (the crashed
// thread's) holds it up only until the writer stalls, not until the deadline.
TEST(Writer, DrainUntilLeavesTheFileCurrentAndGivesUpOnARecordThatIsNeverCommitted) {
    TempFolder folder;
    LineCollector client;
    std::unique_ptr<TraceConfig> config(StartedConfig(folder, &client));
    RecordQueue& queue = *config->Queue();
    std::string expected;
    for (int i = 0; i < 300; ++i) {
        const std::string text = "line " + std::to_string(i);
        CommitText(*config, text, {false, true, false}, true);
        expected += text + "\n";
    }
    const uint64_t second = platform::CounterFrequency();
    queue.DrainUntil(platform::ReadCounter() + 30 * second);
    EXPECT_EQ(ReadFile(config->file.GetPath()), expected);

    TraceRecord* neverCommitted = ReserveRecord(*config);
    ASSERT_NE(neverCommitted, nullptr);
    CommitText(*config, "behind it", {false, true, false}, true);
    const uint64_t start = platform::ReadCounter();
    queue.DrainUntil(start + 30 * second);
    EXPECT_LT(platform::ReadCounter() - start, 10 * second);
    std::snprintf(neverCommitted->text, sizeof neverCommitted->text, "late");
    CommitRecord(neverCommitted, {false, true, false}, 1, 2, 0, 0, true, *config);
}
