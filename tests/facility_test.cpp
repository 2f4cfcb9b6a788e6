#include <gtest/gtest.h>

#include <set>
#include <string>

#include "core/facility.h"
#include "core/manager.h"
#include "include/vextrel.h"
#include "support/core_fixture.h"

using namespace vextrel;
using vextrel::testing::PublishedManager;

// Every built-in name is registered at its id, except a later name that repeats an id.
TEST(FacilityRegistry, BuiltinListRegistersAllButTheRepeatedId) {
    RegisterBuiltinFacilities();
    uint32_t count = 0;
    const BuiltinFacility* rows = BuiltinFacilities(&count);
    std::set<uint32_t> ids;
    for (uint32_t i = 0; i < count; ++i) {
        const bool firstOfId = ids.insert(rows[i].id).second;
        EXPECT_EQ(FacilityIdOf(rows[i].name), firstOfId ? rows[i].id : 0u) << rows[i].name;
    }
    EXPECT_EQ(count, 284u);
    EXPECT_EQ(ids.size(), 283u);
    EXPECT_EQ(FacilityIdOf("VXF_ALL"), kFacilityAll);
}

TEST(FacilityRegistry, RegistrationRefusesTakenIdsAndNamesButNotOtherCase) {
    RegisterBuiltinFacilities();
    EXPECT_EQ(VextrelRegisterFacility("VXF_HOST_TEST_A", 15000), 1);
    EXPECT_STREQ(FacilityNameOf(15000), "VXF_HOST_TEST_A");
    EXPECT_EQ(VextrelRegisterFacility("VXF_HOST_TEST_B", 15000), 0);
    EXPECT_EQ(VextrelRegisterFacility("VXF_HOST_TEST_A", 15001), 0);
    EXPECT_EQ(VextrelRegisterFacility("vxf_host_test_a", 15001), 1);
    EXPECT_EQ(FacilityIdOf("vxf_host_test_a"), 15001u);
    EXPECT_EQ(VextrelRegisterFacility("VXF_HOST_TEST_FAR", 0x01000000u), 1);  // stored unchanged
    EXPECT_EQ(VextrelRegisterFacility(nullptr, 15002), 0);
    EXPECT_EQ(FacilityNameOf(15002), nullptr);
}

TEST(Priorities, NamesAndTheTwoReadingsOfPriorityByteZero) {
    EXPECT_STREQ(PriorityNameOf(1), "VXP_LOWEST");
    EXPECT_STREQ(PriorityNameOf(16), "VXP_URGENT");
    EXPECT_EQ(PriorityNameOf(3), nullptr);
    EXPECT_EQ(PriorityNameOf(17), nullptr);
    EXPECT_EQ(TracePriorityOfWord(0x00000007u), 1u);
    EXPECT_EQ(QueryPriorityOfWord(0x00000007u), 16u);
    EXPECT_EQ(TracePriorityOfWord(VXF_WORD(7, VXP_HIGH)), 8u);
    EXPECT_EQ(TracePriorityOfWord(0xFFFFFFFFu), 255u);
    EXPECT_EQ(FacilityIdOfWord(0xFFFFFFFFu), 0x00FFFFFFu);
}

TEST(FacilityOn, FollowsTheGlobalTable) {
    EXPECT_FALSE(VextrelFacilityOnFunc(VXF_WORD(7, 16)));  // no manager
    PublishedManager manager;
    RebuildGlobalPriorityMap(manager.get(), true);
    // A priority byte of 17 or more passes even the "off" entry.
    EXPECT_TRUE(VextrelFacilityOnFunc(VXF_WORD(12345, 17)));
    EXPECT_TRUE(VextrelFacilityOnFunc(0xFF000000u | 20479u));
    EXPECT_FALSE(VextrelFacilityOnFunc(VXF_WORD(20480, 255)));
    EXPECT_FALSE(VextrelFacilityOnFunc(0xFFFFFFFFu));
    EXPECT_FALSE(VextrelIsActiveFunc());

    manager.AddUndrainedConfig(7, VXP_HIGH);
    EXPECT_TRUE(VextrelIsActiveFunc());
    EXPECT_TRUE(VextrelFacilityOnFunc(VXF_WORD(7, VXP_HIGH)));
    EXPECT_TRUE(VextrelFacilityOnFunc(VXF_WORD(7, VXP_URGENT)));
    EXPECT_FALSE(VextrelFacilityOnFunc(VXF_WORD(7, VXP_NORMAL)));
    EXPECT_TRUE(VextrelFacilityOnFunc(7));  // byte 0 reads as VXP_URGENT
    EXPECT_TRUE(VextrelFacilityOnFunc(0));  // every tracer's entry 0 is 1
    EXPECT_FALSE(VextrelFacilityOnFunc(VXF_WORD(8, VXP_URGENT)));
}

TEST(ChangeFacilityPriority, ChangesTheFirstQualifyingTracerAndAlwaysRebuilds) {
    EXPECT_EQ(VextrelChangeFacilityPriorityFunc(7, VXF_WORD(0, VXP_HIGH)), 0u);  // no manager
    PublishedManager manager;
    TraceConfig* config = manager.AddUndrainedConfig(7, VXP_NORMAL);
    config->console.SetFacilityPriority(9, VXP_LOW);
    config->client.SetFacilityPriority(9, VXP_LOWEST);
    RebuildGlobalPriorityMap(manager.get(), true);

    EXPECT_EQ(VextrelChangeFacilityPriorityFunc(7, VXF_WORD(0, VXP_HIGH)), 0x04000000u);
    EXPECT_EQ(config->file.Table().Get(7), VXP_HIGH);
    EXPECT_EQ(manager->globalTable.Get(7), VXP_HIGH);

    // A priority byte of 0, or a full facility word as the id, changes nothing and skips the rebuild.
    config->file.Table().Set(7, VXP_LOW);
    EXPECT_EQ(VextrelChangeFacilityPriorityFunc(7, VXP_URGENT), 0u);
    EXPECT_EQ(VextrelChangeFacilityPriorityFunc(VXF_WORD(7, VXP_HIGH), VXF_WORD(0, VXP_URGENT)), 0u);
    EXPECT_EQ(manager->globalTable.Get(7), VXP_HIGH);
    // An unconfigured facility returns 0 but still rebuilds.
    EXPECT_EQ(VextrelChangeFacilityPriorityFunc(8, VXF_WORD(0, VXP_URGENT)), 0u);
    EXPECT_EQ(manager->globalTable.Get(7), VXP_LOW);

    // Facility 9: the console comes first; the client tracer has no client and does not qualify.
    EXPECT_EQ(VextrelChangeFacilityPriorityFunc(9, VXF_WORD(0, 17)), static_cast<uint32_t>(VXP_LOW) << 24);
    EXPECT_EQ(config->console.Table().Get(9), 17u);
    EXPECT_EQ(VextrelChangeFacilityPriorityFunc(9, VXF_WORD(0, VXP_HIGH)), 0u);  // nobody qualifies now
    EXPECT_EQ(config->client.Table().Get(9), VXP_LOWEST);
}
