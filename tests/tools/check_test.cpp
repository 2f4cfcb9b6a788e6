// vextrel check: typical configuration mistakes each produce the right message at the right place,
// read through the library's own loader.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "tests/support/output_fixture.h"
#include "tools/check_run.h"

namespace fs = std::filesystem;
using namespace vextrel::tool;

namespace {

struct CheckRun {
    CheckOutcome outcome;
    std::string report;  // every finding line, then the configurations
};

// Writes `files` (name, text; "FOLDER" stands for the folder) into a fresh folder beside a plain
// file named "plain", and checks the first; the default trace folder is the fresh folder.
CheckRun Check(const std::vector<std::pair<std::string, std::string>>& files) {
    const vextrel::testing::TempFolder folder;
    std::ofstream(folder.Path("plain")) << "x";
    for (auto [name, text] : files) {
        if (const size_t at = text.find("FOLDER"); at != std::string::npos) text.replace(at, 6, folder.Path());
        std::ofstream(folder.Path(name), std::ios::binary) << text;
    }
    CheckRun run;
    run.outcome = CheckConfigFiles({folder.Path(files[0].first)}, true, folder.Path());
    for (const CheckFinding& finding : run.outcome.findings) run.report += FindingLine(finding) + "\n";
    run.report += run.outcome.configurations;
    return run;
}

}  // namespace

TEST(Check, EachTypicalMistakeGetsItsMessageAtItsPlace) {
    const std::string kValid = "\nVXF_MIXER_CHANNEL=F@VXP_LOW\n";
    const struct {
        std::string text;
        std::string where;    // "line:column" of the first finding
        std::string message;  // part of its message
    } cases[] = {
        {"VXF_ENGINE_COR=F@VXP_NORMAL", ":1:1: ", "did you mean VXF_ENGINE_CORE"},
        {"VXF_ENGINE_CORE=F@VXP_NORMA",
         ":1:19: ", "unknown priority 'VXP_NORMA': the token is skipped; did you mean VXP_NORMAL?"},
        {"VXF_ENGINE_CORE =F@VXP_NORMAL",
         ":1:1: ", "the blank before '=' is part of the key; did you mean VXF_ENGINE_CORE?"},
        {"VXF_ENGINE_CORE=File:VXP_NORMAL", ":1:17: ", "malformed tracer token 'File:VXP_NORMAL': no '@'"},
        {"VXF_ENGINE_CORE=File@4", ":1:22: ", "a number is not a level: write VXP_NORMAL"},
        {"VXF_ENGINE_CORE=F@NORMAL",
         ":1:19: ", "unknown priority 'NORMAL': the token is skipped; did you mean VXP_NORMAL?"},
        {"tracequeuesize=large # bigger", ":1:16: ", "comments take a whole line"},
        {"vxf_engine_core=f@vxp_normal", ":1:1: ", "facility names are case-sensitive; did you mean VXF_ENGINE_CORE?"},
        {"filetracingdr=/tmp", ":1:1: ", "did you mean filetracingdir?"},
        {"disablefiletracing=yes", ":1:20: ", "value 'yes' does nothing: only 'true' disables"},
        {"filetracingdir=FOLDER/plain/logs", ":1:16: ", "the trace folder does not exist and cannot be created"},
        {"VXF_ENGINE_CORE=F@VXP_LOW,Client@VXP_NORMAL",
         ":1:27: ", "selects the console tracer (its first letter is C)"},
        {"VXF_ENGINE_CORE=C@VXP_LOW\r\n\r\ndisableconsoletracing=TRUE\r\n", ": ", "the console tracer is disabled"},
        {"# comment\r\n\r\n\r\n  # not a comment", ":4:1: ", "'#' as the very first character"},
        {"bequiet=no", ":1:9: ", "'no' is not 'false', so it turns the option on"},
        {"tracequeuesize=big", ":1:16: ", "out of range: only 'large' and 'medium'"},
        {"logfilelimit=ten", ":1:14: ", "out of range"},
        {"name=a=b", ":1:8: ", "text after a further '=' is ignored: 'b'"},
        {std::string(1030, 'x') + "=1", ":1:1023: ", "longer than 1023 characters"},
    };
    for (const auto& each : cases) {
        const CheckRun run = Check({{"host.vextrel", each.text + kValid}});
        ASSERT_FALSE(run.outcome.findings.empty()) << each.text;
        const std::string first = FindingLine(run.outcome.findings[0]);
        EXPECT_NE(first.find("host.vextrel" + each.where), std::string::npos) << first;
        EXPECT_NE(first.find(each.message), std::string::npos) << first;
        // The valid line after the mistake is still read.
        EXPECT_NE(run.report.find("VXF_MIXER_CHANNEL\n"), std::string::npos) << run.report;
    }
}

TEST(Check, ReadsContinuationsConsolidatesAndSaysWhatIsTraced) {
    const CheckRun clean =
        Check({{"host.vextrel", "name=Main\nVXF_ALL=F@VXP_URGENT\nVXF_ENGINE_CORE=F@VXP_NORMAL,S@VXP_HIGH\n"},
               {"host.vextrel2", "VXF_DISK_READ=C@VXP_LOWEST\n"}});
    EXPECT_TRUE(clean.outcome.findings.empty()) << clean.report;
    EXPECT_EQ(clean.outcome.filesRead.size() == 2 ? fs::path(clean.outcome.filesRead[1]).filename().string() : "",
              "host.vextrel2");
    // One configuration: both files share the default trace folder.
    EXPECT_EQ(clean.report.find("configuration 2"), std::string::npos) << clean.report;
    for (const char* piece : {"configuration 1 \"Main\" from ", "VXP_NORMAL and above: VXF_ENGINE_CORE\n",
                              "client tracer: active, 1 facility\n    VXP_HIGH and above: VXF_ENGINE_CORE",
                              "console tracer: active, 1 facility\n    VXP_LOWEST and above: VXF_DISK_READ"}) {
        EXPECT_NE(clean.report.find(piece), std::string::npos) << piece << "\n" << clean.report;
    }

    // A continuation that enables nothing yields no configuration, and says so under its own name.
    const CheckRun dropped =
        Check({{"host.vextrel", "VXF_ENGINE_CORE=F@VXP_LOW\n"}, {"host.vextrel1", "VXF_ENGINE_CORE=F@NORMAL\n"}});
    ASSERT_EQ(dropped.outcome.findings.size(), 2u) << dropped.report;
    EXPECT_NE(FindingLine(dropped.outcome.findings[0]).find("host.vextrel1:1:19: unknown priority"), std::string::npos);
    EXPECT_NE(FindingLine(dropped.outcome.findings[1]).find("host.vextrel1: no tracer ends up enabled"),
              std::string::npos);

    // A relative trace folder is opened from the host's working directory, as the library does.
    const CheckRun relativeRun = Check({{"host.vextrel", "filetracingdir=logs\nVXF_ENGINE_CORE=F@VXP_LOW\n"}});
    ASSERT_FALSE(relativeRun.outcome.notes.empty());
    EXPECT_NE(
        relativeRun.outcome.notes[0].find("is relative: the library opens it from the host's working directory, here " +
                                          (fs::current_path() / "logs").string()),
        std::string::npos)
        << relativeRun.outcome.notes[0];

    // Files are counted per trace folder after merging, as the library does: the file of a 17th folder
    // is ignored whole, and a later file of a kept folder still merges.
    std::vector<std::pair<std::string, std::string>> folders;
    for (int n = 0; n <= 17; ++n) {
        folders.emplace_back("host.vextrel" + (n == 0 ? std::string() : std::to_string(n)),
                             "filetracingdir=FOLDER/t" + std::to_string(n % 17) + "\nVXF_ENGINE_CORE=S@VXP_LOW\n");
    }
    const CheckRun manyFolders = Check(folders);
    ASSERT_EQ(manyFolders.outcome.findings.size(), 1u) << manyFolders.report;
    EXPECT_NE(FindingLine(manyFolders.outcome.findings[0])
                  .find("host.vextrel16: ignored: a 17th trace folder: the library keeps at most 16 configurations"),
              std::string::npos)
        << manyFolders.report;
    EXPECT_NE(manyFolders.report.find("configuration 16 from "), std::string::npos) << manyFolders.report;
    EXPECT_EQ(manyFolders.report.find("configuration 17 from "), std::string::npos) << manyFolders.report;
    EXPECT_NE(manyFolders.report.find("host.vextrel, " + manyFolders.outcome.filesRead.back()), std::string::npos)
        << manyFolders.report;

    const CheckOutcome missing = CheckConfigFiles({"/no/such/host.vextrel"}, true, "/tmp");
    EXPECT_EQ(missing.findings.size() == 1 ? missing.findings[0].message : "", "cannot be opened: nothing is read");
}
