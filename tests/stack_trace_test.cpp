#include <gtest/gtest.h>

#include <cstring>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "core/trace_config.h"
#include "diag/frame_line.h"
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

// Recurses `depth` levels and captures 100 frames at the bottom; the volatile read after the call
// keeps every level a real frame.
[[gnu::noinline]] int CaptureAtDepth(int depth, void** frames) {
    if (depth == 0) {
        vextrel::platform::CaptureStackFrames(frames, vextrel::kStackFrameCapacity);
        return 0;
    }
    volatile int level = depth;
    const int below = CaptureAtDepth(depth - 1, frames);
    return below + level;
}

// Takes a stack trace `depth` levels below the caller.
[[gnu::noinline]] int StackTraceAtDepth(int depth, uint32_t facilityWord) {
    if (depth == 0) {
        VextrelStack(facilityWord);
        return 0;
    }
    volatile int level = depth;
    const int below = StackTraceAtDepth(depth - 1, facilityWord);
    return below + level;
}

}  // namespace stack_trace_test

namespace {

const void* AddressInProbe(int offset) {
    return reinterpret_cast<const char*>(reinterpret_cast<void*>(&stack_trace_test::StackTraceProbeFunction)) + offset;
}

std::string Hex16(uint64_t value) {
    char text[17];
    std::snprintf(text, sizeof text, "%016llX", static_cast<unsigned long long>(value));
    return text;
}

uint64_t AddressValue(const void* address) { return static_cast<uint64_t>(reinterpret_cast<uintptr_t>(address)); }

const std::regex kModuleLine(R"(\t[0-9A-F]{16} : - \(.+ @ [0-9A-F]{16}\))");
// With symbols on, a frame line has either a symbol with its offset or "<No Symbol>" with the address.
const std::regex kSymbolLine(
    R"(\t[0-9A-F]{16} : (.+ \+|<No Symbol>) 0x[0-9A-F]{16} \(.+ @ 0x[0-9A-F]{16}\) ( at .+:[0-9]+)?)");

TEST(FrameLineText, ModuleAndSymbolForms) {
    char line[vextrel::kFrameLineCapacity];
    vextrel::FormatModuleFrameLine(0x00007FF6A1B2C3D4ull, "Host.exe", 0x00007FF6A1B20000ull, line, sizeof line);
    EXPECT_STREQ(line, "\t00007FF6A1B2C3D4 : - (Host.exe @ 00007FF6A1B20000)");

    char source[vextrel::kSourceTextCapacity];
    vextrel::FormatSourceText("C:\\src\\engine.cpp", 42, source, sizeof source);
    char text[vextrel::kSymbolTextCapacity];
    vextrel::FormatSymbolText("Engine::Run", 0x1A, "Host.exe", 0x00007FF6A1B20000ull, source, text, sizeof text);
    EXPECT_STREQ(text, "Engine::Run + 0x000000000000001A (Host.exe @ 0x00007FF6A1B20000)  at C:\\src\\engine.cpp:42");
    vextrel::FormatSymbolFrameLine(0x00007FF6A1B2C3EEull, text, line, sizeof line);
    EXPECT_STREQ(line, "\t00007FF6A1B2C3EE : Engine::Run + 0x000000000000001A (Host.exe @ 0x00007FF6A1B20000)  at "
                       "C:\\src\\engine.cpp:42");

    vextrel::FormatNoSymbolText(0xABCull, "Host.exe", 0xA00ull, "", text, sizeof text);
    EXPECT_STREQ(text, "<No Symbol> 0x0000000000000ABC (Host.exe @ 0x0000000000000A00) ");
}

TEST(FrameLineText, OverlongTextsAreCutAtTheBuffer) {
    const std::string longName(600, 'N');
    char line[vextrel::kFrameLineCapacity];
    vextrel::FormatSymbolFrameLine(0x1234, longName.c_str(), line, sizeof line);
    EXPECT_EQ(std::strlen(line), vextrel::kFrameLineCapacity - 1);
    EXPECT_EQ(std::string(line).substr(0, 22), "\t0000000000001234 : NN");

    char small[8];
    vextrel::FormatModuleFrameLine(0x1234, longName.c_str(), 0, small, sizeof small);
    EXPECT_STREQ(small, "\t000000");
    vextrel::FormatFrameLine(AddressInProbe(4), small, 1, true);
    EXPECT_STREQ(small, "");
}

TEST(StackSymbols, FindsAFunctionOfThisExecutableByName) {
    const void* inside = AddressInProbe(4);
    char text[vextrel::kSymbolTextCapacity];
    vextrel::SymbolizeAddress(inside, text, sizeof text);
    const std::string description = text;
    SCOPED_TRACE(description);

    uint64_t base = 0;
    char module[256];
    vextrel::platform::ModuleOfAddress(inside, &base, module, sizeof module);
    EXPECT_STRNE(module, "Unknown");
    EXPECT_LE(base, AddressValue(inside));

    EXPECT_NE(description.find("StackTraceProbeFunction"), std::string::npos);
    EXPECT_NE(description.find(" + 0x0000000000000004 (" + std::string(module) + " @ 0x" + Hex16(base) + ") "),
              std::string::npos);

    // A source line comes only from a build with debug information; when there is one, it must be
    // inside the probe.
    if (description.back() != ' ') {
        std::smatch source;
        ASSERT_TRUE(std::regex_search(description, source, std::regex(R"(\)  at .*stack_trace_test\.cpp:([0-9]+)$)")));
        const int line = std::stoi(source[1].str());
        EXPECT_GE(line, stack_trace_test::kProbeFirstLine);
        EXPECT_LE(line, stack_trace_test::kProbeLastLine);
    }

    char frameLine[vextrel::kFrameLineCapacity];
    const std::string address = std::string("\t").append(Hex16(AddressValue(inside)));
    vextrel::FormatFrameLine(inside, frameLine, sizeof frameLine, true);
    EXPECT_EQ(std::string(frameLine), address + " : " + description);
    vextrel::FormatFrameLine(inside, frameLine, sizeof frameLine, false);
    EXPECT_EQ(std::string(frameLine), address + " : - (" + module + " @ " + Hex16(base) + ")");
}

TEST(StackSymbols, AddressOutsideEveryModule) {
    int local = 0;
    uint64_t base = 0;
    char module[256];
    vextrel::platform::ModuleOfAddress(&local, &base, module, sizeof module);
    EXPECT_STREQ(module, "Unknown");

    char text[vextrel::kSymbolTextCapacity];
    vextrel::SymbolizeAddress(&local, text, sizeof text);
    EXPECT_EQ(std::string(text), "<No Symbol> 0x" + Hex16(AddressValue(&local)) + " (Unknown @ 0x" + Hex16(base) + ") ");
}

TEST(StackCapture, AtMostSixtyTwoEntriesAndNeverPastTheRequest) {
    std::vector<void*> frames(vextrel::kStackFrameCapacity, reinterpret_cast<void*>(1));
    stack_trace_test::CaptureAtDepth(70, frames.data());
    EXPECT_NE(frames[vextrel::platform::kMaxCapturedFrames - 1], nullptr);
    EXPECT_EQ(frames[vextrel::platform::kMaxCapturedFrames], nullptr);
    char text[vextrel::kSymbolTextCapacity];
    vextrel::SymbolizeAddress(frames[1], text, sizeof text);  // entry 1: the function that captured
    EXPECT_NE(std::strstr(text, "CaptureAtDepth"), nullptr) << text;

    void* few[4] = {nullptr, nullptr, nullptr, reinterpret_cast<void*>(7)};
    vextrel::platform::CaptureStackFrames(few, 3);
    EXPECT_NE(few[2], nullptr);
    EXPECT_EQ(few[3], reinterpret_cast<void*>(7));
    vextrel::platform::CaptureStackFrames(few, 0);
    vextrel::platform::CaptureStackFrames(nullptr, 10);
    EXPECT_EQ(few[3], reinterpret_cast<void*>(7));
}

TEST(StackSymbols, SeveralThreadsSymbolizeAtOnce) {
    std::vector<std::thread> threads;
    std::vector<int> found(4, 0);
    for (size_t t = 0; t < found.size(); ++t) {
        threads.emplace_back([t, &found] {
            for (int i = 0; i < 25; ++i) {
                char text[vextrel::kFrameLineCapacity];
                vextrel::FormatFrameLine(AddressInProbe(static_cast<int>(t) + 1), text, sizeof text, true);
                if (std::strstr(text, "StackTraceProbeFunction") != nullptr) ++found[t];
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(found, std::vector<int>(found.size(), 25));
}

constexpr uint32_t kFacility = 1234;

// Switches stack-trace symbols for the life of the object.
class SymbolSwitch {
public:
    explicit SymbolSwitch(uint8_t value) : before_(VextrelEnabledStackTraceSymbols()) {
        VextrelEnableStackTraceSymbols(value);
    }
    ~SymbolSwitch() { VextrelEnableStackTraceSymbols(before_); }

private:
    uint8_t before_;
};

TEST(VextrelStackQueue, TitleThenQuietFrameLinesForAcceptingConfigurationsOnly) {
    VextrelStack(kFacility);  // no manager: formats and returns
    vextrel::testing::PublishedManager manager;
    vextrel::TraceConfig* accepting = manager.AddUndrainedConfig(kFacility, VXP_NORMAL);
    vextrel::TraceConfig* tooHigh = manager.AddUndrainedConfig(kFacility, VXP_HIGH);
    SymbolSwitch symbols(1);

    stack_trace_test::StackTraceAtDepth(1, VXF_WORD(kFacility, VXP_NORMAL));
    std::vector<vextrel::testing::RecordCopy> records;
    vextrel::testing::TakeRecords(*accepting->Queue(), &records);
    EXPECT_TRUE(vextrel::testing::TakeRecords(*tooHigh->Queue()).empty());

    ASSERT_GE(records.size(), 4u);
    EXPECT_EQ(records[0].text, "Stacktrace:");
    EXPECT_NE(records[1].text.find("VextrelStack"), std::string::npos) << records[1].text;
    EXPECT_NE(records[2].text.find("StackTraceAtDepth"), std::string::npos) << records[2].text;
    EXPECT_NE(records[3].text.find("StackTraceAtDepth"), std::string::npos) << records[3].text;
    for (size_t i = 0; i < records.size(); ++i) {
        EXPECT_TRUE(records[i].quiet);
        EXPECT_EQ(records[i].facilityId, kFacility);
        if (i > 0) {
            EXPECT_TRUE(std::regex_match(records[i].text, kSymbolLine)) << records[i].text;
            EXPECT_GE(records[i].timestamp, records[i - 1].timestamp);
        }
    }
}

TEST(VextrelStackQueue, DeepStackWithoutSymbolsGivesTheTitleAndSixtyOneModuleLinesOnlyWhenAccepted) {
    vextrel::testing::PublishedManager manager;
    vextrel::TraceConfig* config = manager.AddUndrainedConfig(kFacility, VXP_LOWEST);
    SymbolSwitch symbols(0);

    stack_trace_test::StackTraceAtDepth(70, kFacility);
    const std::vector<std::string> texts = vextrel::testing::TakeRecords(*config->Queue());
    ASSERT_EQ(texts.size(), 62u);
    EXPECT_EQ(texts[0], "Stacktrace:");
    for (size_t i = 1; i < texts.size(); ++i) EXPECT_TRUE(std::regex_match(texts[i], kModuleLine)) << texts[i];
    // Nothing is queued for a facility beyond the table or one no tracer takes.
    VextrelStack(VXF_WORD(20480, VXP_URGENT));
    VextrelStack(VXF_WORD(kFacility + 1, VXP_URGENT));
    EXPECT_TRUE(vextrel::testing::TakeRecords(*config->Queue()).empty());
}

}  // namespace
