#include <gtest/gtest.h>

#include <numeric>
#include <string>
#include <vector>

#include "core/facility.h"
#include "output/session_header.h"

using namespace vextrel;

namespace {

HeaderDetails SampleHeaderDetails() {
    return {
        .executablePath = "C:\\Apps\\Host.exe",
        .processId = 0x1a2b,
        .utc = {2025, 3, 2, 13, 5, 9},
        .startSeconds = 12.3456789,
        .osName = "Windows10",
        .processorSpeedGHz = 2.6,
        .processorCount = 8,
        .physicalMemoryMiB = 16384,
        .configFiles = {"C:\\Apps\\config.vextrel", "C:\\Apps\\config.vextrel1"},
        .machineId = "6044-079A-6A30-C000",
        .build = BuildDetails{"1.2.3", "Release", "main", "1.2.3.4", "x64-Release", 42, "Mar  2 2025", "2025-04-01"}};
}

std::string Joined(const std::vector<std::string>& lines) {
    return std::accumulate(lines.begin(), lines.end(), std::string());
}

}  // namespace

TEST(SessionHeader, FileHeaderLinesInOrder) {
    RegisterBuiltinFacilities();
    const std::vector<FacilityPriority> facilities{{1, 8}, {301, 1}, {19999, 3}};
    const std::string expected =
        "\n\n*** Orbanex Session Trace for:\tC:\\Apps\\Host.exe (pid=0x1a2b, version=1.2.3)\n"
        "*** Build Details:\t\t\tBuild: Release; Branch: main; InternalVersion: 1.2.3.4; Target: x64-Release; Build: "
        "42 \n"
        "*** Starting Timestamp:\t\t3/2/2025, 13:5:9 UTC (12.345679 s)\n"
        "*** System Details:\t\t\tOS Version: Windows10, CPU Speed:  2.6 gHz, Architecture: Intel 64 bit, "
        "Num Processors: 8, Memory: 16384 MB\n"
        "*** Build Date:\t\t\t\tMar  2 2025\n"
        "*** Expected Release Date:\t\t2025-04-01\n"
        "*** Vextrel Config File:\t\tC:\\Apps\\config.vextrel\n"
        "*** Vextrel Config File:\t\tC:\\Apps\\config.vextrel1\n"
        "*** Machine UUID:\t\t\t6044-079A-6A30-C000\n"
        "VXF_ENGINE_CORE@VXP_HIGH(0001)\n"
        "VXF_DISK_READ@VXP_LOWEST(012d)\n"
        "VXF_19999@VXP_3(4e1f)\n"
        "\nTime(s),Tid,Facility : Debug Message\n"
        "---------------------------------------------------------------------------\n";
    EXPECT_EQ(Joined(FileHeaderLines(SampleHeaderDetails(), facilities, false)), expected);
}

// A refresh names the session again with its configuration files only; the console header has its
// own tabs, lists the facilities under a title and leaves out files and dates. No line passes the limit.
TEST(SessionHeader, RefreshConsoleAndOverlongVariants) {
    RegisterBuiltinFacilities();
    const std::vector<FacilityPriority> facilities{{1, 8}};
    EXPECT_EQ(
        Joined(FileHeaderLines(SampleHeaderDetails(), facilities, true)),
        "\n\n*** Refreshing session trace for:\tC:\\Apps\\Host.exe (pid=0x1a2b, version=1.2.3)\n"
        "*** Vextrel Config File:\t\tC:\\Apps\\config.vextrel\n*** Vextrel Config File:\t\tC:\\Apps\\config.vextrel1\n"
        "*** Machine UUID:\t\t\t6044-079A-6A30-C000\nVXF_ENGINE_CORE@VXP_HIGH(0001)\n\nTime(s),Tid,Facility : Debug "
        "Message\n"
        "---------------------------------------------------------------------------\n");
    const std::vector<std::string> console = ConsoleHeaderLines(SampleHeaderDetails(), facilities, false);
    ASSERT_EQ(console.size(), 9u);
    EXPECT_EQ(console[2], "*** Starting Timestamp:\t\t\t3/2/2025, 13:5:9 UTC (12.345679 s)\n");
    EXPECT_EQ(console[4], "*** Facilities to trace:\n\n");
    EXPECT_EQ(console[5], "VXF_ENGINE_CORE@VXP_HIGH(0001)\n");
    EXPECT_EQ(console[6], "*** Machine UUID:\t\t6044-079A-6A30-C000\n");
    EXPECT_EQ(Joined(console).find("Config File"), std::string::npos);
    EXPECT_EQ(Joined(console).find("Build Date"), std::string::npos);
    EXPECT_EQ(
        Joined(ConsoleHeaderLines(SampleHeaderDetails(), facilities, true)).find("*** Refreshing session trace for:"),
        2u);

    HeaderDetails facts = SampleHeaderDetails();
    facts.executablePath = std::string(3000, 'p');
    facts.configFiles = {std::string(2000, 'c')};
    for (const std::string& line : FileHeaderLines(facts, {}, false)) EXPECT_LE(line.size(), 1023u);
}
