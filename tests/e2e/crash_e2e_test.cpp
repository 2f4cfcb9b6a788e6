// End-to-end: hosts that crash after tracing, and hosts whose trace files would share one name.
#include <chrono>
#include <thread>

#include "tests/e2e/host_fixture.h"

namespace {

constexpr bool kWindows = VEXTREL_E2E_WINDOWS;
const int kSegvStatus = kWindows ? static_cast<int>(0xC0000005u) : 128 + 11;

// The host fixture with the crashing host beside the e2e host.
class CrashingHost : public HostProcess {
protected:
    void SetUp() override {
        HostProcess::SetUp();
        fs::copy_file(VEXTREL_E2E_CRASH_HOST, folder_ / fs::path(VEXTREL_E2E_CRASH_HOST).filename());
        WriteConfig("config.vextrel", TraceFolderLine() + "VXF_ENGINE_CORE=F@VXP_LOW\n");
    }
    int Run(const char* program, const std::vector<std::string>& arguments, std::string* output) {
        return RunProcess((folder_ / fs::path(program).filename()).string(), arguments, folder_.string(), output);
    }
    // Checks the one trace file: every record, then the crash line and the crashing function's frame.
    void ExpectCrashRecord(int records, const std::string& crash, const std::string& function) {
        const std::string trace = TraceText();
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
};

}  // namespace

TEST_F(CrashingHost, NullWriteAndAbortAreRecordedAfterEveryRecordAndEndTheHostAsBefore) {
    if (VEXTREL_E2E_SANITIZED) GTEST_SKIP() << "the sanitizer run-time owns the crash signals";
    std::string output;
    // The whole host, record included, in well under the seconds that loading the debug-help
    // library in the crashing process took.
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Run(VEXTREL_E2E_CRASH_HOST, {"null", "3000"}, &output), kSegvStatus) << output;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2500));
    ExpectCrashRecord(3000,
                      kWindows ? "access violation (exception 0xC0000005) at address 0000000000000000, "
                               : "SIGSEGV (signal 11) at address 0000000000000000, ",
                      "CrashHostByNullWrite");
    // The Windows C runtime's abort() ends the process with status 3 after its SIGABRT (22) handler.
    fs::remove_all(traces_);
    const auto abortStart = std::chrono::steady_clock::now();
    EXPECT_EQ(Run(VEXTREL_E2E_CRASH_HOST, {"abort", "20"}, &output), kWindows ? 3 : 128 + 6) << output;
    EXPECT_LT(std::chrono::steady_clock::now() - abortStart, std::chrono::milliseconds(2500));
    ExpectCrashRecord(20, kWindows ? "SIGABRT (signal 22) at address " : "SIGABRT (signal 6) at address ",
                      "CrashHostByAbort");
}

// A thread gets what the crash record needs on its first record, whichever thread loaded the library.
TEST_F(CrashingHost, StackOverflowOnAnyTracingThreadIsRecordedAfterEveryRecord) {
    if (VEXTREL_E2E_SANITIZED) GTEST_SKIP() << "the sanitizer run-time owns the crash signals";
    // Wine's own dispatch of the overflow exception overflows again and ends the thread, with or
    // without a filter: nothing to record there.
    if (kWindows) GTEST_SKIP() << "Wine ends a thread whose stack overflowed without calling any filter";
    for (const char* thread : {"worker", "loaded-by-worker"}) {
        SCOPED_TRACE(thread);
        fs::remove_all(traces_);
        std::string output;
        EXPECT_EQ(Run(VEXTREL_E2E_CRASH_HOST, {"overflow", "3000", thread}, &output), kSegvStatus) << output;
        ExpectCrashRecord(3000, "SIGSEGV (signal 11)", "CrashHostByOverflow");
    }
}

// The handler stays while an unload waits for a slow client: a crash meanwhile is recorded, and the
// crash ends the host that outlives the unload.
TEST_F(CrashingHost, CrashWhileTheUnloadWaitsIsRecorded) {
    if (VEXTREL_E2E_SANITIZED) GTEST_SKIP() << "the sanitizer run-time owns the crash signals";
    std::string output;
    EXPECT_EQ(Run(VEXTREL_E2E_HOST,
                  {"client+:client.txt:" + ClientText(), "slow:1500000", "f:1:2:slow line", "crash-in:500", "unload",
                   "sleep:3000"},
                  &output),
              kSegvStatus)
        << output;
    ExpectCrashRecord(0, "", "");  // the crashing thread is an unnamed lambda: no function to look for
}

TEST_F(CrashingHost, HostHandlerInstalledEarlierRunsAfterTheRecordOrAloneWhenTurnedOff) {
    if (VEXTREL_E2E_SANITIZED) GTEST_SKIP() << "the sanitizer run-time owns the crash signals";
    std::string output;
    EXPECT_EQ(Run(VEXTREL_E2E_CRASH_HOST, {"null", "5", "own"}, &output), kSegvStatus) << output;
    EXPECT_NE(output.find("host handler ran"), std::string::npos) << output;
    ExpectCrashRecord(5, kWindows ? "access violation" : "SIGSEGV", "CrashHostByNullWrite");

    fs::remove_all(traces_);
    WriteConfig("config.vextrel", TraceFolderLine() + "VXF_ENGINE_CORE=F@VXP_LOW\ncrashrecord=0\n");
    EXPECT_EQ(Run(VEXTREL_E2E_CRASH_HOST, {"null", "5", "own"}, &output), kSegvStatus) << output;
    EXPECT_NE(output.find("host handler ran"), std::string::npos) << output;
    for (const fs::path& file : TraceFiles()) EXPECT_EQ(ReadFile(file).find("Crash:"), std::string::npos) << file;
}

TEST_F(CrashingHost, SessionsOfOneSecondEachKeepTheirOwnFile) {
    std::vector<std::thread> hosts;
    for (int h = 0; h < 2; ++h) {
        hosts.emplace_back([&, h] {
            const std::vector<std::string> actions{"f:1:2:host " + std::to_string(h), "restart", "f:1:2:after restart",
                                                   "sleep:100"};
            EXPECT_EQ(Run(VEXTREL_E2E_HOST, actions, nullptr), 0);
        });
    }
    for (std::thread& host : hosts) host.join();
    std::string all;
    int restarted = 0;
    for (const std::string& trace : TraceTexts(4)) {
        all += trace;
        restarted += trace.find(": after restart\n") != std::string::npos;
    }
    EXPECT_EQ(restarted, 2);
    for (const char* record : {": host 0\n", ": host 1\n"}) EXPECT_EQ(Count(all, record), 1u) << all;
}
