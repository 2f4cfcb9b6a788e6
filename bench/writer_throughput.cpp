#include "bench/writer_throughput.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_message.h"
#include "bench/vextrel_cases.h"
#include "bench/vextrel_session.h"
#include "core/record_queue.h"
#include "core/trace_entry.h"
#include "platform/clock.h"
#include "platform/thread.h"

namespace vextrel::bench {
namespace {

using Clock = std::chrono::steady_clock;

// The default ring: its 4096 records (2.3 MB) are what a writer drains in steady state.
constexpr uint32_t kThroughputQueueSize = 4096;

double SecondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

// Where the writer and the floor run, and where the calling thread waits for the writer, so that its
// wake-ups do not interrupt the writer.
struct Placement {
    int work = -1;
    int wait = -1;

    void Pin(int processor) const {
        if (processor >= 0) platform::PinCurrentThreadToProcessor(static_cast<uint32_t>(processor));
    }
};

// Waits, yielding, until the writer has written `target` records since the session started or
// `timeoutSeconds` passed; returns the count written.
uint64_t AwaitWritten(VextrelSession& session, uint64_t target, double timeoutSeconds) {
    const Clock::time_point start = Clock::now();
    uint64_t written = session.RecordsWritten();
    while (written < target && SecondsSince(start) < timeoutSeconds) {
        std::this_thread::yield();
        written = session.RecordsWritten();
    }
    return written;
}

// Queues one batch behind a held-back record, starts the writer the first time (it inherits the
// calling thread's processor), then commits the held record and times the writer from its first
// written record until it has written the whole batch. The wake-up before the first record is left
// out: on a busy machine the scheduler's delay in waking a thread would dominate a short batch, and
// a writer that is awake (the steady case) pays no wake-up. The calling thread watches from the
// other processor without sleeping, so its own wake-ups add no delay either.
double TimeWriterBatch(VextrelSession& session, uint32_t lines, const Placement& placement, bool& writerStarted,
                       uint64_t& written) {
    placement.Pin(placement.work);
    TraceRecord* held = ReserveRecord(session.Config());
    if (held == nullptr) return 0;
    for (uint32_t line = 1; line < lines; ++line) AcceptedCall(line);
    std::snprintf(held->text, kRecordTextCapacity, VEXTREL_BENCH_MESSAGE, MessageValue(0), kMessageName,
                  MessageElapsed(0));
    if (!writerStarted) {
        session.StartWriterThread();
        writerStarted = true;
    }
    placement.Pin(placement.wait);
    const uint64_t writtenBefore = session.RecordsWritten();
    Acceptance acceptance;
    acceptance.toFile = true;
    CommitRecord(held, acceptance, platform::CurrentThreadId(), kTracedFacility, TakeTimestamp(), 0, false,
                 session.Config());
    const uint64_t first = AwaitWritten(session, writtenBefore + 1, 30.0);
    const Clock::time_point start = Clock::now();
    const uint64_t last = AwaitWritten(session, writtenBefore + lines, 30.0);
    written += last - first;
    return SecondsSince(start);
}

// The floor's lines: the message texts and timestamps are made beforehand, as the producers made
// them for the writer; the timed part formats each line and writes it.
class FloorWriter {
public:
    FloorWriter(const std::string& path, uint32_t lines)
        : file_(std::fopen(path.c_str(), "w")), texts_(lines), micros_(lines) {
        char text[kRecordTextCapacity];
        for (uint32_t line = 0; line < lines; ++line) {
            std::snprintf(text, sizeof text, VEXTREL_BENCH_MESSAGE, MessageValue(line), kMessageName,
                          MessageElapsed(line));
            texts_[line] = text;
            micros_[line] = platform::ReadCounter() / 1000u;
        }
    }
    ~FloorWriter() {
        if (file_ != nullptr) std::fclose(file_);
    }
    FloorWriter(const FloorWriter&) = delete;
    FloorWriter& operator=(const FloorWriter&) = delete;

    double TimeBatch(uint64_t& written) {
        if (file_ == nullptr) return 0;
        const unsigned long thread = platform::CurrentThreadId();
        const unsigned long facility = kTracedFacility;
        const Clock::time_point start = Clock::now();
        for (size_t line = 0; line < texts_.size(); ++line) {
            char buffer[1024];
            const long long wholeSeconds = static_cast<long long>(micros_[line] / 1000000u);
            const long long micro = static_cast<long long>(micros_[line] % 1000000u);
            const int length = std::snprintf(buffer, sizeof buffer, "%lld.%06lld,%05lx,%04lx: %s\n", wholeSeconds,
                                             micro, thread, facility, texts_[line].c_str());
            std::fwrite(buffer, 1, static_cast<size_t>(length), file_);
            std::fflush(file_);
        }
        written += texts_.size();
        return SecondsSince(start);
    }

private:
    std::FILE* file_;
    std::vector<std::string> texts_;
    std::vector<uint64_t> micros_;
};

}  // namespace

namespace {

WriterComparison CompareOnThisThread(const std::string& folder, uint32_t rounds, uint32_t linesPerRound,
                                     int processor) {
    Placement placement;
    if (processor >= 0) {
        const int count = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
        placement.work = processor;
        placement.wait = count > 1 ? (processor + 1) % count : processor;
    }
    VextrelSession session(folder, "vextrel_writer", kThroughputQueueSize, false);
    // At most capacity - 3 records wait at once.
    const uint32_t capacity = QueueCapacityFor(kThroughputQueueSize);
    if (linesPerRound > capacity - 3) linesPerRound = capacity - 3;
    FloorWriter floor(folder + "/write_floor.txt", linesPerRound);
    bool writerStarted = false;
    double writerSeconds = 0;
    double floorSeconds = 0;
    WriterComparison result;
    for (uint32_t round = 0; round < rounds; ++round) {
        writerSeconds += TimeWriterBatch(session, linesPerRound, placement, writerStarted, result.writer.lines);
        placement.Pin(placement.work);
        floorSeconds += floor.TimeBatch(result.floor.lines);
    }
    if (writerSeconds > 0) result.writer.linesPerSecond = static_cast<double>(result.writer.lines) / writerSeconds;
    if (floorSeconds > 0) result.floor.linesPerSecond = static_cast<double>(result.floor.lines) / floorSeconds;
    return result;
}

}  // namespace

BurstOutcome MeasureWriterBurst(const std::string& folder, uint32_t threads, uint32_t callsPerThread, uint32_t rounds) {
    std::vector<uint64_t> written;
    for (uint32_t round = 0; round < rounds; ++round) {
        VextrelSession session(folder, "vextrel_burst", kThroughputQueueSize);
        std::atomic<uint32_t> ready{0};
        std::vector<std::thread> callers;
        for (uint32_t t = 0; t < threads; ++t) {
            callers.emplace_back([&] {
                // All threads begin together, so the burst overruns the ring as one.
                ready.fetch_add(1);
                while (ready.load() < threads) std::this_thread::yield();
                for (uint32_t call = 0; call < callsPerThread; ++call) AcceptedCall(call);
            });
        }
        for (std::thread& caller : callers) caller.join();
        written.push_back(session.WaitUntilDrained());
    }
    std::sort(written.begin(), written.end());
    BurstOutcome outcome;
    outcome.threads = threads;
    outcome.callsPerThread = callsPerThread;
    outcome.written = written.empty() ? 0 : written[written.size() / 2];
    return outcome;
}

WriterComparison MeasureWriterThroughput(const std::string& folder, uint32_t rounds, uint32_t linesPerRound,
                                         int processor) {
    // On a thread of its own, which may be pinned and re-pinned without touching the caller.
    WriterComparison result;
    std::thread worker([&] { result = CompareOnThisThread(folder, rounds, linesPerRound, processor); });
    worker.join();
    return result;
}

}  // namespace vextrel::bench
