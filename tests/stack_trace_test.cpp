#include <gtest/gtest.h>

#include <cstring>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "core/trace_config.h"
#include "diag/frame_line.h"
#include "diag/symbol_text.h"
#include "include/vextrel.h"
#include "platform/stack.h"
#include "support/core_fixture.h"

namespace stack_trace_test {

// Non-static and never inlined, so that the symbol library knows it by name.
constexpr int kProbeFirstLine = __LINE__ + 1;
[[gnu::noinline]] int StackTraceProbeFunction(int value) {
    volatile int result = value * 3;
    return result + 1;
}
constexpr int kProbeLastLine = __LINE__ - 1;

// Recurses `depth` levels, then captures 100 frames (into `frames`) or traces a stack (`frames`
// null); the volatile read after the call keeps every level a real frame.
[[gnu::noinline]] int AtDepth(int depth, void** frames, uint32_t facilityWord) {
    if (depth == 0) {
        if (frames != nullptr) vextrel::platform::CaptureStackFrames(frames, vextrel::kStackFrameCapacity);
        else VextrelStack(facilityWord);
        return 0;
    }
    volatile int level = depth;
    const int below = AtDepth(depth - 1, frames, facilityWord);
    return below + level;
}

}  // namespace stack_trace_test

namespace {

const void* AddressInProbe(int offset) {
    return reinterpret_cast<const char*>(reinterpret_cast<void*>(&stack_trace_test::StackTraceProbeFunction)) + offset;
}

std::string Hex16(const void* address) {
    char text[17];
    std::snprintf(text, sizeof text, "%016llX", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(address)));
    return text;
}

TEST(FrameLineText, ModuleSymbolAndCutForms) {
    char line[vextrel::kFrameLineCapacity];
    vextrel::FormatModuleFrameLine(0x00007FF6A1B2C3D4ull, "Host.exe", 0x00007FF6A1B20000ull, line, sizeof line);
    EXPECT_STREQ(line, "\t00007FF6A1B2C3D4 : - (Host.exe @ 00007FF6A1B20000)");
    char source[vextrel::kSourceTextCapacity];
    vextrel::FormatSourceText("C:\\src\\engine.cpp", 42, source, sizeof source);
    char text[vextrel::kSymbolTextCapacity];
    vextrel::FormatSymbolText("Engine::Run", 0x1A, "Host.exe", 0x00007FF6A1B20000ull, source, text, sizeof text);
    vextrel::FormatSymbolFrameLine(0x00007FF6A1B2C3EEull, text, line, sizeof line);
    EXPECT_STREQ(line, "\t00007FF6A1B2C3EE : Engine::Run + 0x000000000000001A (Host.exe @ 0x00007FF6A1B20000)  at "
                       "C:\\src\\engine.cpp:42");
    vextrel::FormatNoSymbolText(0xABCull, "Host.exe", 0xA00ull, "", text, sizeof text);
    EXPECT_STREQ(text, "<No Symbol> 0x0000000000000ABC (Host.exe @ 0x0000000000000A00) ");

    const std::string longName(600, 'N');
    vextrel::FormatSymbolFrameLine(0x1234, longName.c_str(), line, sizeof line);
    EXPECT_EQ(std::strlen(line), vextrel::kFrameLineCapacity - 1);
    char small[8];
    vextrel::FormatModuleFrameLine(0x1234, longName.c_str(), 0, small, sizeof small);
    EXPECT_STREQ(small, "\t000000");
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
    EXPECT_NE(description.find(" + 0x0000000000000004 (" + std::string(module) + " @ 0x" + baseText + ") "), std::string::npos);
    // A source line comes only from a build with debug information; when there is one, it is inside the probe.
    std::smatch source;
    if (std::regex_search(description, source, std::regex(R"(\)  at .*stack_trace_test\.cpp:([0-9]+)$)"))) {
        EXPECT_TRUE(std::stoi(source[1]) >= stack_trace_test::kProbeFirstLine && std::stoi(source[1]) <= stack_trace_test::kProbeLastLine);
    }
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
    EXPECT_EQ(std::string(text), "<No Symbol> 0x" + Hex16(&local) + " (Unknown @ 0x" + Hex16(reinterpret_cast<void*>(base)) + ") ");
}

TEST(StackCapture, AtMostSixtyTwoEntriesAndNeverPastTheRequest) {
    std::vector<void*> frames(vextrel::kStackFrameCapacity, reinterpret_cast<void*>(1));
    stack_trace_test::AtDepth(70, frames.data(), 0);
    EXPECT_NE(frames[vextrel::platform::kMaxCapturedFrames - 1], nullptr);
    EXPECT_EQ(frames[vextrel::platform::kMaxCapturedFrames], nullptr);
    char text[vextrel::kSymbolTextCapacity];
    vextrel::SymbolizeAddress(frames[1], text, sizeof text);  // entry 1: the function that captured
    EXPECT_NE(std::strstr(text, "AtDepth"), nullptr) << text;
    void* few[4] = {nullptr, nullptr, nullptr, reinterpret_cast<void*>(7)};
    vextrel::platform::CaptureStackFrames(few, 3);
    vextrel::platform::CaptureStackFrames(nullptr, 10);
    EXPECT_TRUE(few[2] != nullptr && few[3] == reinterpret_cast<void*>(7));
}

TEST(VextrelStackQueue, TitleThenQuietFrameLinesForAcceptingConfigurationsOnly) {
    constexpr uint32_t kFacility = 1234;
    VextrelStack(kFacility);  // no manager: formats and returns
    const uint8_t symbolsBefore = VextrelEnabledStackTraceSymbols();
    vextrel::testing::PublishedManager manager;
    vextrel::TraceConfig* accepting = manager.AddUndrainedConfig(kFacility, VXP_NORMAL);
    vextrel::TraceConfig* tooHigh = manager.AddUndrainedConfig(kFacility, VXP_HIGH);
    VextrelEnableStackTraceSymbols(1);
    stack_trace_test::AtDepth(1, nullptr, VXF_WORD(kFacility, VXP_NORMAL));
    std::vector<vextrel::testing::RecordCopy> records;
    vextrel::testing::TakeRecords(*accepting->Queue(), &records);
    EXPECT_TRUE(vextrel::testing::TakeRecords(*tooHigh->Queue()).empty());
    ASSERT_GE(records.size(), 4u);
    EXPECT_EQ(records[0].text, "Stacktrace:");
    const std::regex symbolLine(R"(\t[0-9A-F]{16} : (.+ \+|<No Symbol>) 0x[0-9A-F]{16} \(.+ @ 0x[0-9A-F]{16}\) ( at .+:[0-9]+)?)");
    for (size_t i = 1; i < records.size(); ++i) {
        EXPECT_TRUE(records[i].quiet && records[i].facilityId == kFacility && records[i].timestamp >= records[i - 1].timestamp);
        EXPECT_TRUE(std::regex_match(records[i].text, symbolLine)) << records[i].text;
        if (i <= 3) {
            EXPECT_NE(records[i].text.find(i == 1 ? "VextrelStack" : "AtDepth"), std::string::npos) << records[i].text;
        }
    }

    // Without symbols a deep stack gives the title and 61 module lines; nothing for facilities no tracer takes.
    VextrelEnableStackTraceSymbols(0);
    stack_trace_test::AtDepth(70, nullptr, kFacility);  // priority byte zero: not at VXP_NORMAL
    stack_trace_test::AtDepth(70, nullptr, VXF_WORD(kFacility, VXP_URGENT));
    VextrelStack(VXF_WORD(20480, VXP_URGENT));
    VextrelEnableStackTraceSymbols(symbolsBefore);
    const std::vector<std::string> texts = vextrel::testing::TakeRecords(*accepting->Queue());
    ASSERT_EQ(texts.size(), 62u);
    for (size_t i = 1; i < texts.size(); ++i) {
        EXPECT_TRUE(std::regex_match(texts[i], std::regex(R"(\t[0-9A-F]{16} : - \(.+ @ [0-9A-F]{16}\))"))) << texts[i];
    }
}

}  // namespace
