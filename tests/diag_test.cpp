// The diagnostic services: stack traces with symbol names, hex dumps, error texts and the machine id.
#include <gtest/gtest.h>

#include <cstring>
#include <regex>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "core/trace_config.h"
#include "diag/frame_line.h"
#include "diag/machine_id.h"
#include "diag/memory_dump_line.h"
#include "diag/symbol_text.h"
#include "include/vextrel.h"
#include "platform/stack.h"
#include "support/core_fixture.h"

namespace stack_trace_test {

// Non-static and never inlined, so that the symbol library knows it by name.
[[gnu::noinline]] int StackTraceProbeFunction(int value) {
    volatile int result = value * 3;
    return result + 1;
}

// Recurses `depth` levels, then traces a stack; the volatile read after the call keeps every
// level a real frame.
[[gnu::noinline]] int AtDepth(int depth, uint32_t facilityWord) {
    if (depth == 0) return VextrelStack(facilityWord), 0;
    volatile int level = depth;
    const int below = AtDepth(depth - 1, facilityWord);
    return below + level;
}

}  // namespace stack_trace_test

namespace vextrel {
namespace {

using testing::Hex16;

const void* AddressInProbe(int offset) {
    return reinterpret_cast<const char*>(reinterpret_cast<void*>(&stack_trace_test::StackTraceProbeFunction)) + offset;
}

TEST(FrameLineText, ModuleAndSymbolForms) {
    char line[vextrel::kFrameLineCapacity];
    vextrel::FormatModuleFrameLine(0x00007FF6A1B2C3D4ull, "Host.exe", 0x00007FF6A1B20000ull, line, sizeof line);
    EXPECT_STREQ(line, "\t00007FF6A1B2C3D4 : - (Host.exe @ 00007FF6A1B20000)");
    char source[vextrel::kSourceTextCapacity];
    vextrel::FormatSourceText("C:\\src\\engine.cpp", 42, source, sizeof source);
    char text[vextrel::kSymbolTextCapacity];
    vextrel::FormatSymbolText("Engine::Run", 0x1A, "Host.exe", 0x00007FF6A1B20000ull, source, text, sizeof text);
    vextrel::FormatSymbolFrameLine(0x00007FF6A1B2C3EEull, text, line, sizeof line);
    EXPECT_STREQ(line,
                 "\t00007FF6A1B2C3EE : Engine::Run + 0x000000000000001A (Host.exe @ 0x00007FF6A1B20000)  at "
                 "C:\\src\\engine.cpp:42");
    vextrel::FormatNoSymbolText(0xABCull, "Host.exe", 0xA00ull, "", text, sizeof text);
    EXPECT_STREQ(text, "<No Symbol> 0x0000000000000ABC (Host.exe @ 0x0000000000000A00) ");
}

TEST(StackSymbols, NamesAFunctionOfThisExecutableFromSeveralThreadsAndNothingOutsideModules) {
    const void* inside = AddressInProbe(4);
    char text[vextrel::kSymbolTextCapacity];
    vextrel::SymbolizeAddress(inside, text, sizeof text);
    const std::string description = text;
    uint64_t base = 0;
    char module[256];
    vextrel::platform::ModuleOfAddress(inside, &base, module, sizeof module);
    const std::string baseText = Hex16(reinterpret_cast<void*>(base));
    EXPECT_NE(description.find("StackTraceProbeFunction"), std::string::npos) << description;
    EXPECT_NE(description.find(" + 0x0000000000000004 (" + std::string(module) + " @ 0x" + baseText + ") "),
              std::string::npos);
    char frameLine[vextrel::kFrameLineCapacity];
    vextrel::FormatFrameLine(inside, frameLine, sizeof frameLine, false);
    EXPECT_EQ(std::string(frameLine), "\t" + Hex16(inside) + " : - (" + module + " @ " + baseText + ")");

    std::vector<std::thread> threads;
    std::vector<int> found(4, 0);
    for (size_t t = 0; t < found.size(); ++t) {
        threads.emplace_back([t, &found] {
            char line[vextrel::kFrameLineCapacity];
            for (int i = 0; i < 25; ++i) {
                vextrel::FormatFrameLine(AddressInProbe(static_cast<int>(t) + 1), line, sizeof line, true);
                found[t] += std::strstr(line, "StackTraceProbeFunction") != nullptr;
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(found, std::vector<int>(found.size(), 25));

    int local = 0;
    vextrel::platform::ModuleOfAddress(&local, &base, module, sizeof module);
    vextrel::SymbolizeAddress(&local, text, sizeof text);
    EXPECT_EQ(std::string(text),
              "<No Symbol> 0x" + Hex16(&local) + " (Unknown @ 0x" + Hex16(reinterpret_cast<void*>(base)) + ") ");
}

TEST(StackCapture, NeverPastTheRequest) {
    void* few[4] = {nullptr, nullptr, nullptr, reinterpret_cast<void*>(7)};
    vextrel::platform::CaptureStackFrames(few, 3);
    vextrel::platform::CaptureStackFrames(nullptr, 10);
    EXPECT_NE(few[2], nullptr);
    EXPECT_EQ(few[3], reinterpret_cast<void*>(7));
}

TEST(VextrelStackQueue, TitleThenQuietFrameLinesForAcceptingConfigurationsOnly) {
    constexpr uint32_t kFacility = 1234;
    VextrelStack(kFacility);  // no manager: formats and returns
    const uint8_t symbolsBefore = VextrelEnabledStackTraceSymbols();
    vextrel::testing::PublishedManager manager;
    vextrel::TraceConfig* accepting = manager.AddUndrainedConfig(kFacility, VXP_NORMAL);
    vextrel::TraceConfig* tooHigh = manager.AddUndrainedConfig(kFacility, VXP_HIGH);
    VextrelEnableStackTraceSymbols(1);
    stack_trace_test::AtDepth(1, VXF_WORD(kFacility, VXP_NORMAL));
    const std::vector<vextrel::testing::RecordCopy> records = vextrel::testing::TakeCopies(*accepting->Queue());
    EXPECT_TRUE(vextrel::testing::TakeRecords(*tooHigh->Queue()).empty());
    ASSERT_GE(records.size(), 4u);
    EXPECT_EQ(records[0].text, "Stacktrace:");
    const std::regex symbolLine(
        R"(\t[0-9A-F]{16} : (.+ \+|<No Symbol>) 0x[0-9A-F]{16} \(.+ @ 0x[0-9A-F]{16}\) ( at .+:[0-9]+)?)");
    for (size_t i = 1; i < records.size(); ++i) {
        EXPECT_TRUE(records[i].quiet) << i;
        EXPECT_EQ(records[i].facilityId, kFacility) << i;
        EXPECT_GE(records[i].timestamp, records[i - 1].timestamp) << i;
        EXPECT_TRUE(std::regex_match(records[i].text, symbolLine)) << records[i].text;
        if (i <= 3) {
            EXPECT_NE(records[i].text.find(i == 1 ? "VextrelStack" : "AtDepth"), std::string::npos) << records[i].text;
        }
    }

    // Without symbols a deep stack gives the title and 61 module lines; nothing for facilities no tracer takes.
    VextrelEnableStackTraceSymbols(0);
    stack_trace_test::AtDepth(70, kFacility);  // priority byte zero: not at VXP_NORMAL
    stack_trace_test::AtDepth(70, VXF_WORD(kFacility, VXP_URGENT));
    VextrelStack(VXF_WORD(20480, VXP_URGENT));
    VextrelEnableStackTraceSymbols(symbolsBefore);
    const std::vector<std::string> texts = vextrel::testing::TakeRecords(*accepting->Queue());
    ASSERT_EQ(texts.size(), 62u);
    for (size_t i = 1; i < texts.size(); ++i) {
        EXPECT_TRUE(std::regex_match(texts[i], std::regex(R"(\t[0-9A-F]{16} : - \(.+ @ [0-9A-F]{16}\))"))) << texts[i];
    }
}

std::vector<std::string> DumpLines(const char* label, const void* data, uint32_t length) {
    std::vector<std::string> lines;
    vextrel::ForEachMemoryDumpLine(label, data, length, [&](const char* line) { lines.emplace_back(line); });
    return lines;
}

TEST(MemoryDumpLine, ALineForEveryThirtyTwoBytesNullsAndOverlongLabels) {
    uint8_t bytes[40];
    for (int i = 0; i < 40; ++i) bytes[i] = static_cast<uint8_t>(0xC0 + i);
    bytes[1] = 0x7F, bytes[2] = 0x80, bytes[3] = 0xFF, bytes[0] = 0x00;
    const std::vector<std::string> lines = DumpLines("buf", bytes, 40);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "buf 0x" + Hex16(bytes) +
                            ": 00 7F 80 FF C4 C5 C6 C7 C8 C9 CA CB CC CD CE CF D0 D1 D2 D3 D4 D5 D6 D7 "
                            "D8 D9 DA DB DC DD DE DF");
    EXPECT_EQ(lines[1], "buf 0x" + Hex16(bytes + 32) + ": E0 E1 E2 E3 E4 E5 E6 E7");
    EXPECT_EQ(DumpLines("x", bytes, 32).size(), 1u);
    EXPECT_EQ(DumpLines("x", bytes, 33).size(), 2u);
    EXPECT_EQ(DumpLines("x", bytes, 0).size(), 0u);
    EXPECT_EQ(DumpLines("buf", nullptr, 100), std::vector<std::string>{"buf: (null)"});
    EXPECT_EQ(DumpLines(nullptr, bytes + 39, 1), std::vector<std::string>{" 0x" + Hex16(bytes + 39) + ": E7"});

    // An overlong label is shortened to 907 characters so that every byte stays visible.
    const std::string label(5000, 'L');
    char line[vextrel::kMemoryDumpLineCapacity];
    vextrel::FormatMemoryDumpLine(label.c_str(), 0x10, bytes, 32, line);
    const std::string text = line;
    EXPECT_EQ(text.size(), vextrel::kMemoryDumpLineCapacity - 1);
    EXPECT_EQ(text.substr(906, 22), "L 0x0000000000000010: ");
    EXPECT_EQ(text.substr(text.size() - 6), " DE DF");
    vextrel::FormatNullMemoryDumpLine(label.c_str(), line);
    EXPECT_EQ(std::string(line), label.substr(0, 907) + ": (null)");
}

TEST(VextrelMemQueue, QueuesOneRecordPerLine) {
    constexpr uint32_t kFacility = 2345;
    vextrel::testing::PublishedManager manager;
    vextrel::TraceConfig* config = manager.AddUndrainedConfig(kFacility, VXP_LOWEST);
    uint8_t bytes[40] = {};
    bytes[39] = 0xFF;
    VextrelMem(kFacility, "buf", bytes, 40);
    VextrelMem(kFacility, "empty", bytes, 0);
    VextrelMem(kFacility, "none", nullptr, 40);
    VextrelMem(VXF_WORD(20480, VXP_URGENT), "beyond", bytes, 40);
    const std::vector<vextrel::testing::RecordCopy> records = vextrel::testing::TakeCopies(*config->Queue());
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].text, DumpLines("buf", bytes, 40)[0]);
    EXPECT_EQ(records[1].text, "buf 0x" + Hex16(bytes + 32) + ": 00 00 00 00 00 00 00 FF");
    EXPECT_EQ(records[2].text, "none: (null)");
    for (const auto& record : records) EXPECT_FALSE(record.quiet) << record.text;
}

// The 37-byte text a registry read leaves: the value, then zero bytes.
std::string GuidText(std::string_view value) {
    std::string text(value);
    text.resize(platform::kMachineGuidTextSize, '\0');
    return text;
}

TEST(MachineIdFold, KnownTextsDashesAndChunks) {
    EXPECT_EQ(FoldMachineGuid(GuidText("00000000-0000-0000-0000-000000000000")), "6044-079A-6A30-C000");
    EXPECT_EQ(FoldMachineGuid("abc"), "0000-0061-3025-F862");
    EXPECT_EQ(FoldMachineGuid(GuidText("")), "0000-0000-0000-0000");  // nothing read
    // Bytes count with their sign: 0x80 is -128, and -128 * 0x1003F + 1 wraps below zero.
    EXPECT_EQ(FoldMachineGuid("\xFF"), "FFFF-FFFF-FFFF-FFFF");
    EXPECT_EQ(FoldMachineGuid("\x80\x01"), "FFFF-FFFF-FF7F-E081");

    // Dashes are skipped and the terminator is not folded.
    const std::string withDashes = FoldMachineGuid(GuidText("3d1219c7-c4c5-404a-aa1f-6d2a48adfda4"));
    EXPECT_EQ(FoldMachineGuid("3d1219c7c4c5404aaa1f6d2a48adfda4"), withDashes);

    // Two whole chunks give two values joined by a dash; a shorter rest is not folded.
    const std::string first(32, '1'), second(32, '2');
    EXPECT_EQ(FoldMachineGuid(first + second + "rest"), FoldMachineGuid(first) + "-" + FoldMachineGuid(second));
    EXPECT_EQ(FoldMachineGuid(std::string(36, 'a'), 32), FoldMachineGuid(std::string(32, 'a')));
}

TEST(MachineId, TheExportGivesOneCachedTextToEveryThread) {
    const MachineGuidText text = ReadMachineGuid();
    EXPECT_EQ(MachineUUID(), FoldMachineGuid(std::string_view(text.data(), text.size())));

    const char* seen = nullptr;
    std::thread([&] { seen = VextrelGetMachineUUID(); }).join();
    ASSERT_EQ(seen, VextrelGetMachineUUID());
    EXPECT_EQ(std::string(seen), MachineUUID());
    EXPECT_TRUE(std::regex_match(seen, std::regex("[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}"))) << seen;
}

TEST(OSErrorText, RunsOfKnownCodesHaveDistinctTextsAndEverythingElseIsUnknown) {
    const std::string unknown = "Unknown OSErr";
    // Runs counting downwards from their first code, with the texts of both ends.
    const struct {
        int32_t first, length;
        const char *firstText, *lastText;
    } runs[] = {{-6001, 50, "Unsupported", "Too Few TDM Outputs"},
                {-6068, 8, "Unknown DSP Error", "Deadband Overrun Error"},
                {-6077, 20, "Bad Aux Channel", "Invalid Data Received"}};
    std::set<std::string> texts;
    for (const auto& run : runs) {
        EXPECT_STREQ(VextrelOSErrToString(run.first), run.firstText);
        EXPECT_STREQ(VextrelOSErrToString(run.first - run.length + 1), run.lastText);
        for (int32_t code = run.first; code > run.first - run.length; --code) texts.insert(VextrelOSErrToString(code));
    }
    EXPECT_EQ(texts.size(), 78u);
    EXPECT_EQ(texts.count(unknown), 0u);
    int known = 0;
    for (int32_t code = -10000; code <= 10000; ++code) known += VextrelOSErrToString(code) != unknown;
    EXPECT_EQ(known, 94);
    EXPECT_EQ(VextrelOSErrToString(INT32_MIN), unknown);
    EXPECT_EQ(VextrelOSErrToString(INT32_MAX), unknown);
}

}  // namespace
}  // namespace vextrel
