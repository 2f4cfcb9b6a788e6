// End-to-end: hosts that crash after tracing, and hosts whose trace files would share one name.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/environment.h"
#include "tests/support/process.h"

namespace fs = std::filesystem;
using vextrel::testing::RunProcess;

namespace {

constexpr bool kWindows = VEXTREL_E2E_WINDOWS;
const int kSegvStatus = kWindows ? static_cast<int>(0xC0000005u) : 128 + 11;

class CrashingHost : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = (fs::temp_directory_path() /
                   (std::string("vextrel-crash-") + ::testing::UnitTest::GetInstance()->current_test_info()->name()))
                      .make_preferred();
        fs::remove_all(folder_);
        fs::create_directories(folder_);
        for (const char* program : {VEXTREL_E2E_CRASH_HOST, VEXTREL_E2E_HOST, VEXTREL_E2E_LIBRARY}) {
            fs::copy_file(program, folder_ / fs::path(program).filename());
        }
        traces_ = (folder_ / "traces").make_preferred();
    }
    void TearDown() override {
        if (!HasFailure()) fs::remove_all(folder_);
    }
    void WriteConfig(const std::string& extra) {
        std::ofstream(folder_ / "config.vextrel", std::ios::binary)
            << "filetracingdir=" + traces_.string() + "\nVXF_ENGINE_CORE=F@VXP_LOW\n" + extra;
    }
    int Run(const char* program, const std::vector<std::string>& arguments, std::string* output) {
        return RunProcess((folder_ / fs::path(program).filename()).string(), arguments, folder_.string(), output);
    }
    // Every trace file's text (CR removed), oldest name first.
    std::vector<std::string> Traces() const {
        std::vector<fs::path> files;
        for (const auto& entry : fs::directory_iterator(traces_)) files.push_back(entry.path());
        std::sort(files.begin(), files.end());
        std::vector<std::string> texts;
        for (const fs::path& file : files) {
            std::ifstream in(file, std::ios::binary);
            std::ostringstream text;
            text << in.rdbuf();
            std::string content = text.str();
            content.erase(std::remove(content.begin(), content.end(), '\r'), content.end());
            texts.push_back(content);
        }
        return texts;
    }
    // Checks the one trace file: every record, then the crash line and the crashing function's frame.
    void ExpectCrashRecord(int records, const std::string& crash, const std::string& function) {
        const std::vector<std::string> traces = Traces();
        ASSERT_EQ(traces.size(), 1u);
        const std::string& trace = traces[0];
        size_t at = 0;
        for (int n = 0; n < records && at != std::string::npos; ++n) {
            at = trace.find(": record " + std::to_string(n) + " before the crash\n", at);
        }
        ASSERT_NE(at, std::string::npos) << trace;
        const size_t crashLine = trace.find("\n!!!***!!! Crash: " + crash, at);
        ASSERT_NE(crashLine, std::string::npos) << trace;
        const size_t stack = trace.find("\nStacktrace:\n\t", crashLine);
        ASSERT_NE(stack, std::string::npos) << trace;
        EXPECT_NE(trace.find(function, stack), std::string::npos) << trace;
        EXPECT_EQ(trace.find("Log Complete"), std::string::npos);
    }

    fs::path folder_;
    fs::path traces_;
    vextrel::testing::ScopedEnvironment user_{kWindows ? "USERNAME" : "USER", "vextrel-crash-user"};
};

}  // namespace

TEST_F(CrashingHost, NullWriteIsRecordedAfterEveryRecordAndEndsTheHostAsBefore) {
    if (VEXTREL_E2E_SANITIZED) GTEST_SKIP() << "the sanitizer run-time owns the crash signals";
    WriteConfig("");
    std::string output;
    EXPECT_EQ(Run(VEXTREL_E2E_CRASH_HOST, {"null", "3000"}, &output), kSegvStatus) << output;
    ExpectCrashRecord(3000,
                      kWindows ? "access violation (exception 0xC0000005) at address 0000000000000000, "
                               : "SIGSEGV (signal 11) at address 0000000000000000, ",
                      "CrashHostByNullWrite");
}

TEST_F(CrashingHost, AbortIsRecordedWithItsCaller) {
    if (VEXTREL_E2E_SANITIZED) GTEST_SKIP() << "the sanitizer run-time owns the crash signals";
    WriteConfig("");
    std::string output;
    // The Windows C runtime's abort() ends the process with status 3 after its SIGABRT (22) handler.
    EXPECT_EQ(Run(VEXTREL_E2E_CRASH_HOST, {"abort", "20"}, &output), kWindows ? 3 : 128 + 6) << output;
    ExpectCrashRecord(20, kWindows ? "SIGABRT (signal 22) at address " : "SIGABRT (signal 6) at address ", "CrashHostByAbort");
}

TEST_F(CrashingHost, HostHandlerInstalledEarlierRunsAfterTheRecordOrAloneWhenTurnedOff) {
    if (VEXTREL_E2E_SANITIZED) GTEST_SKIP() << "the sanitizer run-time owns the crash signals";
    WriteConfig("");
    std::string output;
    EXPECT_EQ(Run(VEXTREL_E2E_CRASH_HOST, {"null", "5", "own"}, &output), kSegvStatus) << output;
    EXPECT_NE(output.find("host handler ran"), std::string::npos) << output;
    ExpectCrashRecord(5, kWindows ? "access violation" : "SIGSEGV", "CrashHostByNullWrite");

    fs::remove_all(traces_);
    WriteConfig("crashrecord=0\n");
    EXPECT_EQ(Run(VEXTREL_E2E_CRASH_HOST, {"null", "5", "own"}, &output), kSegvStatus) << output;
    EXPECT_NE(output.find("host handler ran"), std::string::npos) << output;
    for (const std::string& trace : Traces()) EXPECT_EQ(trace.find("Crash:"), std::string::npos) << trace;
}

TEST_F(CrashingHost, SessionsOfOneSecondEachKeepTheirOwnFile) {
    WriteConfig("");
    std::string outputs[2];
    std::vector<std::thread> hosts;
    for (int h = 0; h < 2; ++h) {
        hosts.emplace_back([&, h] {
            EXPECT_EQ(Run(VEXTREL_E2E_HOST, {"f:1:2:host " + std::to_string(h), "restart", "f:1:2:after restart",
                                             "sleep:100"},
                          &outputs[h]),
                      0);
        });
    }
    for (std::thread& host : hosts) host.join();
    const std::vector<std::string> traces = Traces();
    ASSERT_EQ(traces.size(), 4u);
    std::string all;
    for (const std::string& trace : traces) all += trace;
    for (const char* record : {": host 0\n", ": host 1\n"}) EXPECT_EQ(all.find(record), all.rfind(record)) << all;
    for (const char* record : {": host 0\n", ": host 1\n", ": after restart\n"}) {
        EXPECT_NE(all.find(record), std::string::npos) << all;
    }
    EXPECT_EQ(std::count_if(traces.begin(), traces.end(),
                            [](const std::string& t) { return t.find(": after restart\n") != std::string::npos; }),
              2);
}
