// End-to-end: what a host traced right before it unloads the library or ends is in its trace file.
#include <chrono>
#include <functional>
#include <thread>

#include "tests/e2e/host_fixture.h"

namespace {

const char* const kLostOutput = "!!!***!!! Some of your trace output has been lost.";

// The numbers of the lines "<prefix> line <n>" in file order.
std::vector<int> NumberedLines(const std::string& trace, const std::string& prefix) {
    std::vector<int> numbers;
    const std::regex line(",0001: " + prefix + R"( line (\d+))");
    std::istringstream lines(trace);
    for (std::string text; std::getline(lines, text);) {
        std::smatch match;
        if (std::regex_search(text, match, line)) numbers.push_back(std::stoi(match[1]));
    }
    return numbers;
}

}  // namespace

// Every record traced before an unload or an exit is written, in order, before the closing line;
// a ring overrun by a slow client reports its losses; a ring that never filled loses nothing. On
// Windows an exit ends the writer thread, often in the middle of a line, before the library unloads.
TEST_F(HostProcess, EverythingTracedBeforeTheEndIsWrittenBeforeTheClosingLine) {
    WriteConfig("config.vextrel", TraceFolderLine() + "VXF_ENGINE_CORE=F@VXP_LOW\n");
    const std::string client = "client+:client.txt:" + ClientText();
    struct Case {
        int count;
        bool slow;
    };
    for (const Case c : {Case{1, false}, Case{3000, false}, Case{20000, true}}) {
        for (const char* end : {"unload", "exit"}) {
            fs::remove_all(traces_);
            std::vector<std::string> actions = {"threads:1:" + std::to_string(c.count) + ":1:2", end};
            if (c.slow) actions.insert(actions.begin(), {"slow:100", client});
            Run(actions);
            const std::string trace = TraceText();
            const std::vector<int> numbers = NumberedLines(trace, "worker 0");
            EXPECT_EQ(std::adjacent_find(numbers.begin(), numbers.end(), std::greater_equal<int>()), numbers.end());
            const bool lost = trace.find(kLostOutput) != std::string::npos;
            EXPECT_EQ(lost, c.slow) << c.count << " " << end;
            if (!lost) {
                EXPECT_EQ(numbers.size(), static_cast<size_t>(c.count)) << end;
            }
            EXPECT_TRUE(trace.ends_with(kClosingLine)) << c.count << " " << end;
        }
    }
}

// The process ends while a client's callback holds the writer: after the stop wait the exiting
// thread writes what the ring holds into the file, the loss report for what did not fit, and the
// closing line.
TEST_F(HostProcess, AnExitDuringABlockedCallbackStillEndsTheFile) {
    WriteConfig("config.vextrel", TraceFolderLine() + "VXF_ENGINE_CORE=F@VXP_LOW\n");
    Run({"client+:client.txt:" + ClientText(), "slow:30000000", "threads:1:6000:1:2", "exit"});
    const std::string trace = TraceText();
    const std::vector<int> numbers = NumberedLines(trace, "worker 0");
    EXPECT_GT(numbers.size(), 4000u);
    EXPECT_TRUE(std::is_sorted(numbers.begin(), numbers.end()));
    EXPECT_NE(trace.find(kLostOutput), std::string::npos);
    EXPECT_EQ(Count(trace, kClosingLine), 1u);
    EXPECT_TRUE(trace.ends_with(kClosingLine));
}

// A trace target that is a pipe keeps the library loaded: a reader that stalls holds the writer in
// the system, and an unload returns at once without pulling the code from under it; what was traced
// reaches the reader when it goes on, with the closing line at process end.
TEST_F(HostProcess, AStalledPipeTargetSurvivesAnUnload) {
    fs::create_directories(traces_);
    const int reader = vextrel::testing::OpenPipeAtPath((traces_ / "e2e_host.txt").string());
    if (reader < 0 && VEXTREL_E2E_WINDOWS) GTEST_SKIP() << "no pipes by path name";
    ASSERT_GE(reader, 0);
    WriteConfig("config.vextrel", TraceFolderLine() + "append=true\nVXF_ENGINE_CORE=F@VXP_LOW\n");
    std::string received;
    std::thread stalledReader([&] {
        std::this_thread::sleep_for(std::chrono::seconds(3));
        received = vextrel::testing::ReadPipeToEnd(reader);
    });
    const std::string output = Run({"threads:1:3000:1:2", "timed:unload", "sleep:4000", "return"});
    stalledReader.join();
    EXPECT_LT(Took(output, "unload"), 1000);
    EXPECT_EQ(NumberedLines(received, "worker 0").size(), 3000u);
    EXPECT_TRUE(received.ends_with(kClosingLine));
}

// Ending the process while other threads trace neither crashes nor hangs past the stop wait, and
// what was traced before the end is written when the process ends through exit, a return from main
// or quick_exit.
TEST_F(HostProcess, EndingWhileOtherThreadsTraceIsSafeAndBounded) {
    WriteConfig("config.vextrel", TraceFolderLine() + "VXF_ENGINE_CORE=F@VXP_LOW\n");
    for (const char* end : {"exit", "return", "quick_exit"}) {
        fs::remove_all(traces_);
        const auto start = std::chrono::steady_clock::now();
        Run({"spin:4:1:2", "sleep:50", "f:1:2:last words", end});
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5)) << end;
        const std::string trace = TraceText();
        // MinGW's C runtime has no quick_exit: the host ends through _Exit there, and nothing runs.
        if (VEXTREL_E2E_WINDOWS && std::string(end) == "quick_exit") continue;
        EXPECT_NE(trace.find(",0001: last words\n"), std::string::npos) << end;
        EXPECT_TRUE(trace.ends_with(kClosingLine)) << end;
    }
}
