#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <string_view>
#include <thread>

#include "diag/machine_id.h"
#include "include/vextrel.h"

namespace vextrel {
namespace {

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

}  // namespace
}  // namespace vextrel
