// The vextrel program and its trace-file reader: on written-out text with every form a file can
// hold, and on files that the real library wrote from a host process.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <nlohmann/json.hpp>
#include <sstream>

#include "tests/e2e/host_fixture.h"
#include "tests/support/output_fixture.h"
#include "tools/json_text.h"
#include "tools/output_buffer.h"
#include "tools/span_histogram.h"
#include "tools/time_bins.h"
#include "tools/trace_file_reader.h"
#include "tools/trace_follower.h"
#include "tools/trace_set.h"
#include "tools/trace_stats.h"

using nlohmann::json;
using namespace vextrel::tool;

namespace {

// A file with every form: a header with a record written between its lines, the four record
// forms (a name holding ':' and ','), messages over several lines (one ending in blank lines, one
// timed), a lost-output report, a refresh header and the closing line; CR LF line ends.
std::string SampleText() {
    const std::string lf =
        "\n\n*** Orbanex Session Trace for:\t/opt/My Host (pid=0x1f, version=1.0.0)\n"
        "*** Build Details:\t\t\tBuild: Release; Build: 1 \n"
        "*** Starting Timestamp:\t\t12/6/2026, 3:4:5 UTC (100.250000 s)\n"
        "100.250100,01a2b,0001: written during the header\n"
        "*** Vextrel Config File:\t\t/opt/config.vextrel\n"
        "*** Machine UUID:\t\t\tAB-CD\n"
        "VXF_ENGINE_CORE@VXP_NORMAL(0001)\n"
        "\nTime(s),Tid,Facility : Debug Message\n" +
        std::string(75, '-') +
        "\n"
        "101.000000,01a2b,0001: plain\n"
        "101.500000,abcdef,0065,nm=Au:dio,1: named: with colon\n"
        "102.000000,01a2b,0065: timed (1500 us)\n"
        "102.000001,01a2b,0065,nm=x: first line\n\nsecond line (42 us)\n"
        "103.000000,01a2b,0001: ends in blank lines\n\n\n"
        "!!!***!!! The trace writer couldn't keep up with the incoming trace requests.\n"
        "!!!***!!! Some of your trace output has been lost.  Try decreasing the amount of\n"
        "!!!***!!! trace output you are logging, or increasing the size of the trace buffer.\n"
        "bare quiet line\n"
        "\n\n\n\n*** Refreshing session trace for:\t/opt/My Host (pid=0x1f, version=1.0.0)\n"
        "VXF_ENGINE_CORE@VXP_HIGH(0001)\n"
        "\nTime(s),Tid,Facility : Debug Message\n" +
        std::string(75, '-') + "\n104.000000,00002,0001: after refresh\n\n\n *** Vextrel Log Complete ***\n";
    std::string crlf;
    for (char c : lf) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    return crlf;
}

std::string Joined(const std::vector<TraceEntry>& entries) {
    std::string text;
    for (const TraceEntry& entry : entries) text.append(entry.Lines()).append("\n");
    return text;
}

std::string WithoutCarriageReturns(std::string text) {
    text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
    return text;
}

}  // namespace

TEST(TraceFileReader, ReadsEveryFormAndKeepsEveryLineWholeOrInPieces) {
    const std::string text = SampleText();
    const TraceFileContent file = ReadTraceText(text);
    EXPECT_TRUE(file.closed);
    EXPECT_TRUE(file.carriageReturns);
    EXPECT_FALSE(file.endsMidLine);
    // Every line belongs to exactly one entry, in order: nothing is lost or duplicated.
    EXPECT_EQ(Joined(file.entries), WithoutCarriageReturns(text));

    ASSERT_EQ(file.sessions.size(), 2u);
    const SessionHeader& first = file.sessions[0];
    EXPECT_EQ(first.executablePath, "/opt/My Host");
    EXPECT_EQ(first.processId, 31u);
    EXPECT_EQ(first.machineId, "AB-CD");
    EXPECT_EQ(first.startMicroseconds, 100250000u);
    EXPECT_EQ(first.configFiles, std::vector<std::string>{"/opt/config.vextrel"});
    EXPECT_TRUE(file.sessions[1].refresh);
    EXPECT_TRUE(file.sessions[1].complete);
    EXPECT_FALSE(file.sessions[1].startUtc);
    EXPECT_EQ(WallTimeOf(first, 101000000), "2026-12-06T03:04:05.750000Z");

    std::vector<const TraceEntry*> records;
    std::string kinds;
    for (const TraceEntry& entry : file.entries) {
        kinds += "RHLCO"[static_cast<int>(entry.kind)];
        if (entry.kind == EntryKind::kRecord) records.push_back(&entry);
    }
    EXPECT_EQ(kinds, "HRHRRRRRLOOOHRC");
    ASSERT_EQ(records.size(), 7u);
    EXPECT_EQ(records[2]->name, "Au:dio,1");
    EXPECT_EQ(records[2]->Text(), "named: with colon");
    EXPECT_EQ(records[3]->elapsedMicroseconds, 1500u);
    EXPECT_EQ(records[4]->Text(), "first line\n\nsecond line");
    EXPECT_EQ(records[4]->elapsedMicroseconds, 42u);
    EXPECT_EQ(records[5]->Text(), "ends in blank lines\n\n");
    EXPECT_EQ(records[6]->session, 1u);
    EXPECT_EQ(DatingSessionOf(file.sessions, *records[6]), &file.sessions[0]);  // the refresh has no timestamp
    EXPECT_EQ(std::count(file.entries[8].Lines().begin(), file.entries[8].Lines().end(), '\n'),
              2);  // the lost-output report, one entry of three lines

    // Fed in pieces, each overwritten once fed (as a file's read buffer is), it reads the same.
    for (const size_t piece : {1, 2, 3, 5, 7, 64, 200}) {
        TraceFileReader reader;
        std::vector<TraceEntry> entries;
        std::string buffer;
        for (size_t at = 0; at < text.size(); at += piece) {
            buffer.assign(text, at, piece);
            reader.Feed(buffer);
            for (TraceEntry& entry : reader.TakeEntries()) entries.push_back(std::move(entry));
            buffer.assign(buffer.size(), '#');
        }
        reader.Finish();
        for (TraceEntry& entry : reader.TakeEntries()) entries.push_back(std::move(entry));
        EXPECT_EQ(Joined(entries), Joined(file.entries)) << piece;
    }
}

TEST(TraceFileReader, JsonTextIsValidForAnyBytes) {
    const std::string bytes = std::string("a\"\\\n\t\x01\xff\xc3\xa9\xe2\x82", 11) + "\xf0\x9f\x98\x80";
    const json parsed = json::parse(JsonQuoted(bytes));
    EXPECT_EQ(parsed.get<std::string>(), "a\"\\\n\t\x01\xEF\xBF\xBD\xc3\xa9\xEF\xBF\xBD\xEF\xBF\xBD\xf0\x9f\x98\x80");
    // Long runs go eight bytes at a time: a byte to escape anywhere in such a run is still escaped.
    const std::string words =
        "a run of plain words with \"quotes\" inside, a back\\slash, a\ttab, \x7f, \xc3\xa9 and \x1f";
    EXPECT_EQ(json::parse(JsonQuoted(words)).get<std::string>(), words);
    // The last bytes of a text after an escaped one, which are copied as a word ending the text.
    for (size_t size = 1; size <= 20; ++size) {
        for (size_t at = 0; at < size; ++at) {
            std::string text(size, 'x');
            text[at] = '"';
            EXPECT_EQ(json::parse(JsonQuoted(text)).get<std::string>(), text) << size << " " << at;
        }
    }
}

// Files merged by time, a few (whose heads are compared) or many (kept in a heap): every entry in
// time order, and on equal times the earlier file first.
TEST(TraceFiles, MergeAFewOrManyFilesByTime) {
    vextrel::testing::TempFolder folder;
    for (const size_t count : {3, 11}) {
        std::vector<std::string> paths;
        std::vector<std::pair<uint64_t, size_t>> expected;
        for (size_t file = 0; file < count; ++file) {
            paths.push_back(folder.Path("f" + std::to_string(count) + "_" + std::to_string(file) + ".txt"));
            std::ofstream out(paths.back());
            for (size_t record = 0; record < 40; ++record) {
                const size_t time = record * 5 + file % 2;  // the even files have the same times
                out << "1." << std::setw(6) << std::setfill('0') << time << ",00001,0001: r\n";
                expected.emplace_back(1000000 + time, file);
            }
        }
        std::sort(expected.begin(), expected.end());
        TraceFiles files(paths, true);
        std::vector<std::pair<uint64_t, size_t>> merged;
        for (auto next = files.Next(); next.entry != nullptr; next = files.Next())
            merged.emplace_back(next.entry->microseconds, next.file);
        EXPECT_EQ(merged, expected) << count << " files";
    }
}

TEST(RunningFigures, StayWithinTheirPrecisionInFixedMemory) {
    SpanHistogram spans;
    for (uint64_t value = 1; value <= 100000; ++value) spans.Add(value);
    EXPECT_NEAR(static_cast<double>(spans.Quantile(0.5)), 50000, 50000 * 0.016);
    EXPECT_NEAR(static_cast<double>(spans.Quantile(0.99)), 99000, 99000 * 0.016);
    EXPECT_EQ(spans.Quantile(1.0), 100000u);  // never beyond the largest value seen
    SpanHistogram small;
    for (uint64_t value : {3u, 120u, 7u}) small.Add(value);
    EXPECT_EQ(small.Quantile(0.5), 7u);  // exact below 128
    EXPECT_EQ(small.Quantile(0.01), 3u);

    // The longest gaps in order, the earlier of two equal ones first, whatever came between.
    TraceStats stats(1000000, 2);
    TraceEntry record;
    record.kind = EntryKind::kRecord;
    for (uint64_t time : {0u, 50u, 60u, 110u, 111u, 500u, 499u}) {
        record.microseconds = time;
        ++record.line;
        stats.AddRecord(record);
    }
    const std::vector<Gap> gaps = stats.LongestGaps();
    ASSERT_EQ(gaps.size(), 2u);
    EXPECT_EQ(gaps[0].length, 389u);
    EXPECT_EQ(gaps[1].line, 1u);  // 0 -> 50, not the equal 60 -> 110 after it

    // Bins double their width as the run grows: every count stays, in the bin of its time.
    TimeBins bins(4, 10);
    for (uint64_t time : {100u, 105u, 119u, 139u, 141u, 200u}) bins.Add(time, time % 2);
    EXPECT_EQ(bins.Width(), 40u);
    EXPECT_EQ(bins.Rows().at(1), (std::vector<uint32_t>{3, 1, 0, 0}));
    EXPECT_EQ(bins.Rows().at(0), (std::vector<uint32_t>{1, 0, 1, 0}));
}

TEST(TraceFollower, ShowsTheTailThenFollowsTheFileAndMovesToANewerOne) {
    const vextrel::testing::TempFolder temporary;
    const fs::path folder = temporary.Path();
    std::ofstream(folder / "a.txt", std::ios::binary) << "one\r\ntwo\nthree\npart";
    TraceFollower follower(folder, 2);
    EXPECT_EQ(follower.Poll(), (std::vector<std::string>{"two", "three"}));
    std::ofstream(folder / "a.txt", std::ios::binary | std::ios::app) << "ial\nfour\n";
    std::ofstream(folder / "b.txt", std::ios::binary) << "new\n";
    fs::last_write_time(folder / "b.txt", fs::last_write_time(folder / "a.txt") + std::chrono::seconds(5));
    EXPECT_EQ(follower.Poll(), (std::vector<std::string>{"partial", "four", "new"}));
    EXPECT_EQ(follower.Switches(), 1u);
    std::ofstream(folder / "a.txt", std::ios::binary | std::ios::app) << "old file again\n";
    std::ofstream(folder / "b.txt", std::ios::binary | std::ios::app) << "more\n";
    EXPECT_EQ(follower.Poll(), std::vector<std::string>{"more"});
    EXPECT_EQ(follower.Current().filename(), "b.txt");
    EXPECT_EQ(fs::path(DefaultTraceFolder()).filename(), "Logs");
}

TEST(TraceFollower, KnowsAFileByItsIdentityNotItsNameOrSize) {
    const vextrel::testing::TempFolder temporary;
    const fs::path folder = temporary.Path(), file = folder / "a.txt";
    std::ofstream(file, std::ios::binary) << "old one\nold two\n";
    TraceFollower follower(folder, 5);
    EXPECT_EQ(follower.Poll(), (std::vector<std::string>{"old one", "old two"}));
    // Moved over by a longer file: read from its start, not from the old file's length.
    std::ofstream(folder / "new.tmp", std::ios::binary) << "new file first line\nsecond\n";
    fs::rename(folder / "new.tmp", file);
    EXPECT_EQ(follower.Poll(), (std::vector<std::string>{"new file first line", "second"}));
    // Cut shorter and written again: on from its new end.
    std::ofstream(file, std::ios::binary | std::ios::trunc) << "kept\n";
    EXPECT_EQ(follower.Poll(), std::vector<std::string>{});
    std::ofstream(file, std::ios::binary | std::ios::app) << "after the cut\n";
    EXPECT_EQ(follower.Poll(), std::vector<std::string>{"after the cut"});
    EXPECT_EQ(follower.Switches(), 0u);
}

// Pieces of every size, some larger than the buffer, end up in the file whole and in order,
// whether the file is written past the system's cache in aligned blocks (from its first 4 MB on,
// here) or through it.
TEST(OutputBuffer, WritesAFileWholeInPiecesOfAnySize) {
    const vextrel::testing::TempFolder temporary;
    const std::string path = (fs::path(temporary.Path()) / "out.json").string();
    std::string expected;
    OutputFile file(path, OutputBuffer::kDirectCapacity);
    {
        OutputBuffer out(file);
        for (size_t piece = 0; expected.size() < 3 * OutputBuffer::kDirectCapacity; ++piece) {
            const size_t size = piece == 700 ? OutputBuffer::kDirectCapacity + 5 : piece * 37 % 9000;
            const std::string text(size, static_cast<char>('a' + piece % 26));
            out.Append(text);
            expected += text;
        }
        out.Flush();
    }
    file.Close();
    const std::string written = ReadFile(path);
    EXPECT_EQ(written.size(), expected.size());
    EXPECT_TRUE(written == expected);
}

namespace {

// Runs the e2e host with a named configuration twice, each run into its own trace folder, and
// reads the trace files back with the vextrel program.
class ToolOnRealFiles : public HostProcess {
protected:
    void SetUp() override {
        HostProcess::SetUp();
        for (int run = 0; run < 2; ++run) {
            traces_ = folder_ / (run == 0 ? "a" : "b");
            WriteConfig("config.vextrel", "name=Au:dio,1\n" + TraceFolderLine() +
                                              "VXF_ENGINE_CORE=File@VXP_LOW\nVXF_MIXER_CHANNEL=File@VXP_NORMAL\n");
            Run({"threads:3:20:1:2", "t:101:4:20:mixed|second line", "f:1:2:plain", "sleep:300"});
            ASSERT_EQ(TraceFiles().size(), 1u) << "the host did not leave one trace file in " << traces_;
            files_[run] = TraceFiles()[0].string();
        }
    }

    // The program's output (standard output and error) for the arguments; fails on another exit code.
    std::string Tool(std::vector<std::string> arguments, int exitCode = 0) {
        std::string output;
        EXPECT_EQ(RunProcess(VEXTREL_TOOL, arguments, folder_.string(), &output), exitCode) << output;
        return WithoutCarriageReturns(output);
    }

    // The records `vextrel cat --json --records-only` gives for the files and filter arguments.
    std::vector<json> Records(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), {"cat", "--json", "--records-only"});
        std::istringstream lines(Tool(arguments));
        std::vector<json> records;
        for (std::string line; std::getline(lines, line);) records.push_back(json::parse(line));
        return records;
    }

    std::string files_[2];
};

}  // namespace

TEST_F(ToolOnRealFiles, CatTimelineStatsAndFollowGiveTheTracedRecords) {
    EXPECT_EQ(Tool({"cat", files_[0]}), ReadFile(files_[0]));  // the file as written, every line
    const std::string recordLines = Tool({"cat", "--no-headers", files_[0]});
    EXPECT_EQ(recordLines.find("***"), std::string::npos);
    EXPECT_EQ(recordLines, Tool({"cat", "--records-only", files_[0]}));  // no lost output here
    const std::vector<json> records = Records({files_[0]});
    ASSERT_EQ(records.size(), 63u);
    EXPECT_EQ(records[0]["name"], "Au:dio,1");
    EXPECT_EQ(records[0]["wall"].get<std::string>().substr(0, 2), "20");
    const std::vector<json> timedRecords = Records({files_[0], "--facility", "VXF_MIXER_CHANNEL"});
    ASSERT_EQ(timedRecords.size(), 2u);
    EXPECT_FALSE(timedRecords[0].contains("elapsed_us"));  // the call that sets the start stamp
    const json timed = timedRecords[1];
    EXPECT_EQ(timed["text"], "mixed\nsecond line");
    EXPECT_GE(timed["elapsed_us"].get<uint64_t>(), 20000u);
    EXPECT_EQ(Records({files_[0], "--facility", "65"}).size(), 2u);
    EXPECT_EQ(Records({files_[0], "--thread", records[0]["thread"].get<std::string>()}).size(), 20u);
    EXPECT_EQ(Records({files_[0], "--grep", "worker . line 1[0-9]$"}).size(), 30u);
    EXPECT_EQ(Records({files_[0], "--since", timed["time"].dump()}).size(), 2u);

    // Merged: every record of the earlier run first. (Within one file, the records of threads that
    // were preempted between taking their time and their slot may go back in time a little.)
    const std::vector<json> merged = Records({files_[1], files_[0]});
    ASSERT_EQ(merged.size(), 126u);
    size_t earlierFirst = 0;
    while (earlierFirst < merged.size() && merged[earlierFirst]["file"] == files_[0]) ++earlierFirst;
    EXPECT_EQ(earlierFirst, 63u);
    EXPECT_EQ(merged.back()["file"], files_[1]);

    // The timeline has one event per record, on its thread and at its time, in its facility, with
    // what differs from record to record as arguments.
    const std::string out = (folder_ / "timeline.json").string();
    EXPECT_NE(Tool({"timeline", "--lines", files_[0], files_[1], "-o", out}).find("126 records from 2 files"),
              std::string::npos);
    const json timeline = json::parse(ReadFile(out));
    size_t index = 0;
    for (const json& event : timeline["traceEvents"]) {
        if (event["ph"] == "M") continue;
        ASSERT_LT(index, merged.size());
        const json& record = merged[index++];
        const uint64_t elapsed = record.value("elapsed_us", uint64_t{0});
        EXPECT_EQ(event["tid"], std::stoul(record["thread"].get<std::string>(), nullptr, 16));
        EXPECT_EQ(event["ts"].get<uint64_t>() + elapsed, record["time_us"].get<uint64_t>());
        EXPECT_EQ(event.value("dur", uint64_t{0}), elapsed);
        EXPECT_EQ(event["ph"], record.contains("elapsed_us") ? "X" : "i");
        EXPECT_EQ(event["cat"], record["facility_name"]);
        EXPECT_EQ(event["args"]["line"], record["line"]);
        EXPECT_EQ(event["args"]["config"], record["name"]);
        EXPECT_EQ(event["args"].value("text", event["name"].get<std::string>()), record["text"]);
    }
    EXPECT_EQ(index, merged.size());
    // What holds for every event of a facility is said once, in the metadata.
    const json facilities = timeline["metadata"]["facilities"];
    EXPECT_NE(std::find(facilities.begin(), facilities.end(), json{{"id", 0x65}, {"name", "VXF_MIXER_CHANNEL"}}),
              facilities.end())
        << facilities;
    EXPECT_EQ(timeline["metadata"]["headers"][0]["traced"]["VXF_ENGINE_CORE"], "VXP_LOW");
    Tool({"timeline", files_[0], "-o", out});
    EXPECT_FALSE(json::parse(ReadFile(out))["traceEvents"][0]["args"].contains("line"));  // only with --lines

    const std::string stats = Tool({"stats", files_[0]});
    const std::string span = std::to_string(timed["elapsed_us"].get<uint64_t>());
    for (const std::string& expected :
         {std::string("63 records from"), std::string("0001 VXF_ENGINE_CORE                  61"),
          std::string("traces VXF_ENGINE_CORE@VXP_LOW VXF_MIXER_CHANNEL@VXP_NORMAL"),
          "VXF_MIXER_CHANNEL                count 1  p50 " + span + " us  p99 " + span + " us  max " + span + " us",
          std::string("lost-output reports: 0"), std::string("ends with the closing line")}) {
        EXPECT_NE(stats.find(expected), std::string::npos) << expected << "\n" << stats;
    }
    const std::string follow = Tool({"follow", (folder_ / "b").string(), "--tail", "1", "--exit-after", "0.2"});
    EXPECT_NE(follow.find(files_[1]), std::string::npos) << follow;
    EXPECT_NE(follow.find(" *** Vextrel Log Complete ***"), std::string::npos) << follow;
}

TEST_F(ToolOnRealFiles, CommandLineConventionsAndTheReportData) {
    // A filter option takes one value: the files after it are all read, as are files before it.
    const std::vector<json> both = Records({"--name", "Au:dio,1", files_[0], files_[1]});
    EXPECT_EQ(both.size(), 126u);
    EXPECT_EQ(Records({files_[0], "--thread", both[0]["thread"].get<std::string>(), files_[1]}).size(), 20u);
    EXPECT_EQ(Records({"--facility", "VXF_MIXER_CHANNEL", "--facility", "VXF_ENGINE_CORE", files_[0]}).size(), 63u);

    std::string output = Tool({"--version"});
    EXPECT_NE(output.find("vextrel 1."), std::string::npos) << output;
    output = Tool({"cta", files_[0]}, 2);
    EXPECT_NE(output.find("the commands are cat, stats, follow, timeline, report, check"), std::string::npos) << output;
    Tool({"cat", "--no-such-option", files_[0]}, 2);
    Tool({"stats"}, 2);
    Tool({"cat", "--facility", "VXF_NO_SUCH", files_[0]}, 2);
    output = Tool({"stats", files_[0], (folder_ / "config.vextrel").string()}, 2);
    EXPECT_NE(output.find("config.vextrel is not a trace file"), std::string::npos) << output;

    // The report embeds what stats counts.
    const std::string page = (folder_ / "report.html").string();
    Tool({"report", files_[0], "-o", page});
    const std::string html = ReadFile(page);
    const size_t start = html.find('>', html.find("<script id=\"data\"")) + 1;
    const json data = json::parse(html.substr(start, html.find("</script>", start) - start));
    EXPECT_EQ(data["records"], 63);
    EXPECT_EQ(data["threads"], 4);
    EXPECT_EQ(data["losses"], 0);
    EXPECT_NE(data["files"][0]["sessions"][0]["pid"], 0);
    EXPECT_EQ(html.find("http"), std::string::npos);  // nothing loaded from anywhere
}
