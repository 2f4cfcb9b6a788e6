#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/trace_config.h"
#include "diag/memory_dump_line.h"
#include "include/vextrel.h"
#include "support/core_fixture.h"

namespace {

std::vector<std::string> DumpLines(const char* label, const void* data, uint32_t length) {
    std::vector<std::string> lines;
    vextrel::ForEachMemoryDumpLine(label, data, length, [&](const char* line) { lines.emplace_back(line); });
    return lines;
}

std::string Hex16(const void* address) {
    char text[17];
    std::snprintf(text, sizeof text, "%016llX", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(address)));
    return text;
}

TEST(MemoryDumpLine, ALineForEveryThirtyTwoBytesNullsAndOverlongLabels) {
    uint8_t bytes[40];
    for (int i = 0; i < 40; ++i) bytes[i] = static_cast<uint8_t>(0xC0 + i);
    bytes[1] = 0x7F, bytes[2] = 0x80, bytes[3] = 0xFF, bytes[0] = 0x00;
    const std::vector<std::string> lines = DumpLines("buf", bytes, 40);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "buf 0x" + Hex16(bytes) + ": 00 7F 80 FF C4 C5 C6 C7 C8 C9 CA CB CC CD CE CF D0 D1 D2 D3 D4 D5 D6 D7 "
                                                  "D8 D9 DA DB DC DD DE DF");
    EXPECT_EQ(lines[1], "buf 0x" + Hex16(bytes + 32) + ": E0 E1 E2 E3 E4 E5 E6 E7");
    EXPECT_EQ(DumpLines("x", bytes, 32).size() * 10 + DumpLines("x", bytes, 33).size() + DumpLines("x", bytes, 0).size() * 100, 12u);
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
    std::vector<vextrel::testing::RecordCopy> records;
    vextrel::testing::TakeRecords(*config->Queue(), &records);
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].text, DumpLines("buf", bytes, 40)[0]);
    EXPECT_EQ(records[1].text, "buf 0x" + Hex16(bytes + 32) + ": 00 00 00 00 00 00 00 FF");
    EXPECT_EQ(records[2].text, "none: (null)");
    EXPECT_FALSE(records[0].quiet || records[1].quiet || records[2].quiet);
}

}  // namespace
