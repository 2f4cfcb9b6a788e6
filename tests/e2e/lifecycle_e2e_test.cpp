// End-to-end: a real host process loads the shared library from its own folder, next to its
// configuration files, and the tests read the trace files it leaves.
#include "tests/e2e/host_fixture.h"

TEST_F(HostProcess, TracesFromSeveralThreadsBetweenHeaderAndClosingLine) {
    WriteConfig("config.vextrel", TraceFolderLine() + "VXF_ENGINE_CORE=F@VXP_LOW\n");
    WriteConfig("config.vextrel1", TraceFolderLine() + "VXF_MIXER_CHANNEL=File@VXP_NORMAL\n");
    Run({"threads:3:20:1:2", "f:101:4:mixer line", "f:101:2:filtered out", "f:1:1:too low", "sleep:300"});

    const std::vector<fs::path> files = TraceFiles();
    ASSERT_EQ(files.size(), 1u);
    EXPECT_TRUE(
        std::regex_match(files[0].filename().string(), std::regex(R"(e2e_host_\d{4}_\d\d_\d\d_\d\d_\d\d_\d\d\.txt)")))
        << files[0];
    const std::string trace = ReadFile(files[0]);
    EXPECT_EQ(trace.rfind("\n\n*** Orbanex Session Trace for:\t" + host_.string() + " (pid=0x", 0), 0u) << trace;
    const std::string pieces[] = {"*** Build Details:\t\t\tBuild: ",
                                  "*** Vextrel Config File:\t\t" + (folder_ / "config.vextrel").string() + "\n",
                                  "*** Vextrel Config File:\t\t" + (folder_ / "config.vextrel1").string() + "\n",
                                  "VXF_ENGINE_CORE@VXP_LOW(0001)\nVXF_MIXER_CHANNEL@VXP_NORMAL(0065)\n",
                                  "\nTime(s),Tid,Facility : Debug Message\n-----"};
    for (const std::string& piece : pieces) EXPECT_NE(trace.find(piece), std::string::npos) << piece;

    // Whole record lines only: the time, the thread, the facility and the text.
    const std::regex recordLine(R"(\n\d+\.\d{6},([0-9a-f]{5,}),0001: worker \d line \d+(?=\n))");
    std::multiset<std::string> threads;
    for (std::sregex_iterator at(trace.begin(), trace.end(), recordLine), end; at != end; ++at)
        threads.insert((*at)[1]);
    EXPECT_EQ(threads.size(), 60u);
    EXPECT_EQ(std::set<std::string>(threads.begin(), threads.end()).size(), 3u);
    EXPECT_EQ(Count(trace, ",0065: mixer line\n"), 1u);
    EXPECT_EQ(trace.find("filtered out"), std::string::npos);
    EXPECT_EQ(trace.find("too low"), std::string::npos);
    EXPECT_TRUE(trace.ends_with(kClosingLine));
}

TEST_F(HostProcess, ReloadChangesNothingUntilAFileChanges) {
    WriteConfig("config.vextrel", TraceFolderLine() + "VXF_ENGINE_CORE=F@VXP_LOW\n");
    const std::string changed = "filetracingdir=" + traces_.string() + "|VXF_ENGINE_CORE=F@VXP_HIGH|";
    const std::string output = Run({"f:1:2:first", "reload", "sleep:1100", "write:config.vextrel:" + changed, "reload",
                                    "f:1:2:now filtered", "f:1:8:second", "sleep:300"});
    EXPECT_NE(output.find("reload=0\nreload=1\n"), std::string::npos) << output;
    const std::vector<std::string> traces = TraceTexts(2);
    const std::string &first = traces[0], &second = traces[1];
    EXPECT_NE(first.find(",0001: first\n"), std::string::npos);
    EXPECT_EQ(second.rfind("\n\n*** Refreshing session trace for:", 0), 0u) << second;
    EXPECT_EQ(second.find("Build Details"), std::string::npos);
    EXPECT_EQ(second.find("now filtered"), std::string::npos);
    EXPECT_NE(second.find("VXF_ENGINE_CORE@VXP_HIGH(0001)"), std::string::npos);
    EXPECT_NE(second.find(",0001: second\n"), std::string::npos);
}

// A restart opens a new file with a full header: the configuration is carried over into the new
// manager and keeps its writer thread; the old file ends with its closing line. A client removed
// right after the trace calls still gets their lines first.
TEST_F(HostProcess, ClientGetsTheFileLinesOfItsFacilitiesUntilRemovedOrRestarted) {
    WriteConfig("config.vextrel", TraceFolderLine() + "VXF_ENGINE_CORE=F@VXP_LOW\nVXF_MIXER_CHANNEL=F@VXP_LOW\n");
    Run({"client+:client.txt:" + ClientText(), "slow:2000", "f:1:2:to both", "f:101:2:file only", "f:1:4:to both again",
         "client-", "f:1:2:after removal", "sleep:300", "client+:client2.txt:" + ClientText(), "sleep:1100", "restart",
         "f:1:2:after restart", "sleep:300"});

    const std::vector<std::string> traces = TraceTexts(2);
    const std::string &trace = traces[0], &second = traces[1];
    std::string fileLinesOfFacility;
    std::istringstream lines(trace);
    for (std::string line; std::getline(lines, line);) {
        if (line.find(",0001: to both") != std::string::npos) fileLinesOfFacility += line + "\n";
    }
    EXPECT_EQ(Count(fileLinesOfFacility, "\n"), 2u);
    EXPECT_EQ(ReadFile(folder_ / "client.txt"), fileLinesOfFacility);
    EXPECT_EQ(ReadFile(folder_ / "client2.txt"), "");
    EXPECT_NE(trace.find("after removal"), std::string::npos);
    // Adding and removing clients wrote the header again into the same file, each time.
    EXPECT_EQ(Count(trace, "*** Orbanex Session Trace for:"), 4u);
    EXPECT_EQ(trace.find("after restart"), std::string::npos);
    EXPECT_TRUE(trace.ends_with(kClosingLine));
    EXPECT_EQ(second.rfind("\n\n*** Orbanex Session Trace for:", 0), 0u);
    EXPECT_NE(second.find(",0001: after restart\n"), std::string::npos);
    EXPECT_EQ(Count(second, kClosingLine), 1u);
}

// Restart and reload carry the configuration over while its writer is held up by a slow client:
// every record committed before the swap is in the old file, before its closing line, and the new
// file begins after it.
TEST_F(HostProcess, RecordsCommittedBeforeASwapEndTheOldFile) {
    for (const char* swap : {"restart", "reload"}) {
        SCOPED_TRACE(swap);
        fs::remove_all(traces_);
        WriteConfig("config.vextrel", TraceFolderLine() + "VXF_ENGINE_CORE=F@VXP_LOW\n");
        const std::string changed = "write:config.vextrel:" + ClientText().substr(0, ClientText().find('|') + 1) +
                                    "VXF_ENGINE_CORE=F@VXP_NORMAL|";
        Run({"client+:client.txt:" + ClientText(), "slow:1000", "threads:1:1000:1:2", changed, swap,
             "f:1:8:after the swap", "sleep:2500", "quick_exit"});
        const std::vector<std::string> traces = TraceTexts(2);
        const std::string &old = traces[0], &next = traces[1];
        EXPECT_EQ(Count(old, ",0001: worker 0 line "), 1000u);
        EXPECT_NE(old.find("worker 0 line 999\n" + std::string(kClosingLine)), std::string::npos);
        EXPECT_TRUE(old.ends_with(kClosingLine));
        EXPECT_EQ(Count(old, "lost"), 0u);
        EXPECT_EQ(next.find("worker"), std::string::npos);
        EXPECT_NE(next.find(",0001: after the swap\n"), std::string::npos);
    }
}

// A client that takes 6 s per line holds its writer past the stop wait: removing it, a reload that
// ends its configuration and a restart each return within the stop wait all the same.
TEST_F(HostProcess, ControlCallsReturnWithinTheStopWaitWhateverAClientDoes) {
    WriteConfig("config.vextrel", TraceFolderLine() + "VXF_ENGINE_CORE=F@VXP_LOW\n");
    std::string elsewhere = "filetracingdir=" + (traces_ / "client").string() + "|VXF_ENGINE_CORE=S@VXP_LOW";
    const std::string output =
        Run({"client+:client.txt:" + elsewhere, "slow:6000000", "f:1:2:slow line", "f:1:2:next line", "sleep:100",
             "timed:client-", "client+:client.txt:" + elsewhere, "f:1:2:third line", "sleep:100", "timed:restart",
             "write:config.vextrel:" + TraceFolderLine().substr(0, TraceFolderLine().size() - 1) +
                 "|VXF_MIXER_CHANNEL=F@VXP_LOW|",
             "timed:reload", "quick_exit"});
    for (const char* call : {"client-", "restart", "reload"}) EXPECT_LT(Took(output, call), 5800) << call;
}

// Two configurations end at a restart while their clients hold both writers past the stop wait: the
// restart waits for both until one shared deadline, not one stop wait each. Each writer, once free,
// ends its file with one closing line (on Linux before the unload returns; on Windows, where the
// library stays loaded for it, while the host goes on).
TEST_F(HostProcess, WritersHeldUpTogetherCostOneStopWait) {
    const auto folderLine = [&](const char* name) { return "filetracingdir=" + (traces_ / name).string(); };
    WriteConfig("config.vextrel", folderLine("a") + "\nVXF_ENGINE_CORE=F@VXP_LOW\n");
    WriteConfig("config.vextrel1", folderLine("b") + "\nVXF_ENGINE_CORE=F@VXP_LOW\n");
    const std::string output =
        Run({"client+:a.txt:" + folderLine("a") + "|VXF_ENGINE_CORE=S@VXP_LOW",
             "client+:b.txt:" + folderLine("b") + "|VXF_ENGINE_CORE=S@VXP_LOW", "slow:6000000", "f:1:2:held up",
             "sleep:100", "write:config.vextrel:" + folderLine("c") + "|",
             "write:config.vextrel1:" + folderLine("c") + "|", "timed:restart", "unload", "sleep:1500"});
    EXPECT_LT(Took(output, "restart"), 5800);
    for (const char* name : {"a", "b"}) {
        const fs::path folder = traces_ / name;
        ASSERT_TRUE(fs::exists(folder)) << name;
        for (const auto& entry : fs::directory_iterator(folder)) {
            const std::string trace = ReadFile(entry.path());
            EXPECT_EQ(Count(trace, kClosingLine), 1u) << entry.path();
            EXPECT_TRUE(trace.ends_with(kClosingLine)) << entry.path();
        }
    }
}

// A client that takes 6 s holds the writer past the unload's stop wait: the host goes on for 10 s
// more and ends normally, the client is never called after the unload returned, and the trace file
// still gets every line and its closing line.
TEST_F(HostProcess, AnUnloadLeavesNoClientCallAndNoLibraryCodeBehind) {
    WriteConfig("config.vextrel", TraceFolderLine() + "VXF_ENGINE_CORE=F@VXP_LOW\n");
    const std::string output = Run({"client+:client.txt:" + ClientText(), "slow:6000000", "f:1:2:first", "f:1:2:second",
                                    "f:1:2:third", "sleep:100", "unload", "calls", "sleep:10000", "calls"});
    EXPECT_NE(output.find("calls=1\ncalls=1\n"), std::string::npos) << output;
    const std::string trace = TraceText();
    EXPECT_NE(trace.find(",0001: third\n"), std::string::npos) << trace;
    EXPECT_EQ(Count(trace, kClosingLine), 1u) << trace;
    EXPECT_TRUE(trace.ends_with(kClosingLine));
}

// Memory stays where it was after the first thousand client add/remove pairs and restarts.
TEST_F(HostProcess, ClientChurnAndRestartsKeepMemoryFlat) {
    if (VEXTREL_E2E_SANITIZED) GTEST_SKIP() << "the sanitizer run-time holds on to freed memory";
    WriteConfig("config.vextrel", "VXF_ENGINE_CORE=S@VXP_LOW\n");
    const std::string output = Run({"churn:6000:VXF_ENGINE_CORE=S@VXP_LOW", "restarts:2000"});
    const std::regex memory(R"(memory=(\d+):(\d+))");
    int loops = 0;
    for (std::sregex_iterator at(output.begin(), output.end(), memory), end; at != end; ++at, ++loops) {
        EXPECT_LT(std::stoll((*at)[2]) - std::stoll((*at)[1]), 1024) << (*at)[0];
    }
    EXPECT_EQ(loops, 2) << output;
}

TEST_F(HostProcess, WithoutConfigurationFilesNothingIsTraced) {
    const std::string output = Run({"active", "register:VXF_HOST_EXTRA:9000", "f:1:16:nowhere", "path"});
    EXPECT_NE(output.find("active=0\nregister=0\npath=\n"), std::string::npos) << output;
    EXPECT_TRUE(TraceFiles().empty());
}

// A base file and 16 continuations sharing one trace folder, the last with a line of 17 tokens:
// every file counts and the line's last token wins.
TEST_F(HostProcess, EveryFileOfALongSeriesAndEveryTokenOfALongLineApply) {
    const char* const names[] = {"CORE",    "SCHEDULER", "TRANSPORT", "TEMPO",   "SYNC",       "CLOCK",
                                 "RENDER",  "BOUNCE",    "FREEZE",    "LATENCY", "DELAY_COMP", "VOICE_ALLOC",
                                 "PREROLL", "POSTROLL",  "LOOP",      "PUNCH",   "SCRUB"};
    std::vector<std::string> actions;
    std::string longLine = "VXF_ENGINE_SHUTTLE=";
    for (int token = 0; token < 16; ++token) longLine += "F@VXP_URGENT,";
    for (int file = 0; file <= 16; ++file) {  // facility ids 1 to 17, then 18 on the long line
        WriteConfig("config.vextrel" + (file == 0 ? std::string() : std::to_string(file)),
                    TraceFolderLine() + "VXF_ENGINE_" + names[file] + "=F@VXP_LOW\n" +
                        (file == 16 ? longLine + "F@VXP_LOW\n" : ""));
        actions.push_back("f:" + std::to_string(file + 1) + ":2:facility " + std::to_string(file + 1));
    }
    actions.push_back("f:18:2:facility 18");
    Run(actions);
    const std::string trace = TraceText();
    EXPECT_EQ(Count(trace, "*** Vextrel Config File:"), 17u) << trace;
    for (const char* record : {",0001: facility 1\n", ",0011: facility 17\n", ",0012: facility 18\n"}) {
        EXPECT_NE(trace.find(record), std::string::npos) << record << trace;
    }
}
