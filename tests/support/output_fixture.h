// Helpers for tests of trace files and the writer: a private temporary folder, reading a file back,
// and a trace client that lets a test wait for the writer thread.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "core/trace_config.h"
#include "core/trace_entry.h"
#include "host/host_info.h"
#include "include/vextrel.h"
#include "output/queue_writer.h"
#include "platform/files.h"

namespace vextrel::testing {

// A fresh folder under the system's temporary folder, removed with everything in it at the end.
class TempFolder {
public:
    TempFolder() {
        std::random_device random;
        path_ = std::filesystem::temp_directory_path() /
                ("vextrel-test-" + std::to_string(random()) + "-" + std::to_string(random()));
        std::filesystem::create_directories(path_);
    }
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    // The folder, or a name inside it joined with the platform's separator.
    std::string Path() const { return path_.string(); }
    std::string Path(const std::string& name) const { return Path() + platform::kPathSeparator + name; }

private:
    std::filesystem::path path_;
};

// Gives the probed host facts an executable file name for the life of the object.
class ScopedExecutableName {
public:
    explicit ScopedExecutableName(const char* fileName) {
        std::snprintf(Host().executableFileName, sizeof Host().executableFileName, "%s", fileName);
    }
    ~ScopedExecutableName() { Host() = saved_; }

private:
    const HostInfo saved_ = Host();
};

// The whole content of a text file ("" when it cannot be read).
inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

// Collects the lines its configuration's writer delivers and lets a test wait for them.
class LineCollector : public TraceClient {
public:
    void OnTraceLine(const char* line, uint32_t length) override {
        std::lock_guard<std::mutex> guard(lock_);
        lines_.emplace_back(line, length);
        arrived_.notify_all();
    }

    // Waits until `count` lines arrived; false when they did not come within half a minute (a
    // writer that lost them).
    bool WaitFor(size_t count) {
        std::unique_lock<std::mutex> guard(lock_);
        return arrived_.wait_for(guard, std::chrono::seconds(30), [&] { return lines_.size() >= count; });
    }

    std::vector<std::string> Lines() {
        std::lock_guard<std::mutex> guard(lock_);
        return lines_;
    }

private:
    std::mutex lock_;
    std::condition_variable arrived_;
    std::vector<std::string> lines_;
};

// Gives `config` a ring for `queueSize` records and starts its writer thread.
inline void StartWriter(TraceConfig& config, uint32_t queueSize = 4096,
                        uint32_t pollMicroseconds = kDefaultWriterPollMicroseconds) {
    RecordQueueOptions options;
    options.writerPollMicroseconds = pollMicroseconds;
    auto* queue = new RecordQueue(options);
    ASSERT_TRUE(StartQueueWriter(*queue, queueSize, config));
    config.SetQueue(queue);
}

// Queues `text` as a record of thread 1 and facility 2 for the outputs in `to`.
inline void CommitText(TraceConfig& config, const std::string& text, Acceptance to = {false, true, true},
                       bool quiet = false) {
    TraceRecord* record = ReserveRecord(config);
    ASSERT_NE(record, nullptr);
    std::snprintf(record->text, sizeof record->text, "%s", text.c_str());
    CommitRecord(record, to, 1, 2, 0, 0, quiet, config);
}

}  // namespace vextrel::testing
