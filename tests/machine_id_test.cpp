#include <gtest/gtest.h>

#include <cstdio>
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

TEST(MachineIdFold, KnownGuidsAndTexts) {
    EXPECT_EQ(FoldMachineGuid(GuidText("00000000-0000-0000-0000-000000000000")), "6044-079A-6A30-C000");
    EXPECT_EQ(FoldMachineGuid("abc"), "0000-0061-3025-F862");
    // Nothing read: 37 zero bytes.
    EXPECT_EQ(FoldMachineGuid(GuidText("")), "0000-0000-0000-0000");
    // Bytes count with their sign: 0x80 is -128, and -128 * 0x1003F + 1 wraps below zero.
    EXPECT_EQ(FoldMachineGuid("\xFF"), "FFFF-FFFF-FFFF-FFFF");
    EXPECT_EQ(FoldMachineGuid("\x80\x01"), "FFFF-FFFF-FF7F-E081");
}

TEST(MachineIdFold, DashesAreIgnoredAndTheTerminatorIsNotFolded) {
    // A machine-id file's 32 digits without dashes fold like the same digits in GUID form.
    const std::string withDashes = FoldMachineGuid(GuidText("3d1219c7-c4c5-404a-aa1f-6d2a48adfda4"));
    EXPECT_EQ(FoldMachineGuid(GuidText("3d1219c7c4c5404aaa1f6d2a48adfda4")), withDashes);
    EXPECT_EQ(FoldMachineGuid("3d1219c7c4c5404aaa1f6d2a48adfda4"), withDashes);
    EXPECT_NE(FoldMachineGuid(GuidText("3d1219c7c4c5404aaa1f6d2a48adfda5")), withDashes);
}

TEST(MachineIdFold, LongTextsFoldInWholeChunks) {
    // Two whole chunks give two values; a rest shorter than a chunk is not folded.
    const std::string first(32, '1');
    const std::string second(32, '2');
    const std::string one = FoldMachineGuid(first);
    const std::string two = FoldMachineGuid(second);
    const std::string both = FoldMachineGuid(first + second + "rest");
    EXPECT_EQ(both.size(), 39u);
    // Joining two groups of four groups adds one more dash between them.
    EXPECT_EQ(both, one + "-" + two);
    EXPECT_EQ(FoldMachineGuid(std::string(36, 'a'), 32), FoldMachineGuid(std::string(32, 'a')));
}

TEST(MachineId, ReadGuidIsTerminatedAndFoldsToTheCachedIdentifier) {
    const MachineGuidText text = ReadMachineGuid();
    EXPECT_EQ(text.back(), '\0');
    for (char character : text) {
        EXPECT_NE(character, '\n');
    }
    EXPECT_EQ(MachineUUID(), FoldMachineGuid(std::string_view(text.data(), text.size())));
}

TEST(MachineId, ExportReturnsTheSamePointerAndText) {
    const char* first = VextrelGetMachineUUID();
    const char* second = VextrelGetMachineUUID();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first, second);
    EXPECT_EQ(std::string(first), MachineUUID());
    ASSERT_EQ(std::string(first).size(), 19u);
    for (size_t i = 0; i < 19; ++i) {
        const char character = first[i];
        if (i % 5 == 4) {
            EXPECT_EQ(character, '-');
        } else {
            EXPECT_TRUE((character >= '0' && character <= '9') || (character >= 'A' && character <= 'F')) << first;
        }
    }
}

TEST(MachineId, ThreadsAskingAtOnceGetTheSameText) {
    const char* seen[2] = {};
    std::thread other([&] { seen[0] = VextrelGetMachineUUID(); });
    seen[1] = VextrelGetMachineUUID();
    other.join();
    EXPECT_EQ(seen[0], seen[1]);
    EXPECT_STREQ(seen[0], MachineUUID().c_str());
}

}  // namespace
}  // namespace vextrel
