// Facility names and ids, the public facility header, and the global table that decides at once
// whether any tracer may want a call.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "core/facility.h"
#include "core/manager.h"
#include "include/vextrel_facilities.h"
#include "support/core_fixture.h"

using namespace vextrel;
using vextrel::testing::PublishedManager;
using vextrel::testing::TakeRecords;

namespace {

struct NamedValue {
    const char* name;
    uint32_t macroValue;
    uint32_t listedValue;
};

#define VEXTREL_TEST_ROW(name, value) {#name, name, value},
constexpr NamedValue kHeaderFacilities[] = {VEXTREL_FOR_EACH_BUILTIN_FACILITY(VEXTREL_TEST_ROW)};
constexpr NamedValue kHeaderPriorities[] = {VEXTREL_FOR_EACH_PRIORITY(VEXTREL_TEST_ROW)};
#undef VEXTREL_TEST_ROW

}  // namespace

// Every built-in name is registered at its id, except a later name that repeats an id; the public
// facility header is generated from the same list, and a list changed without regenerating the
// header (cmake -P cmake/generate-facility-header.cmake) fails here. Hosts may add names at free
// ids, and the case of a name matters.
TEST(FacilityRegistry, BuiltinsTheHeaderAndHostRegistrations) {
    RegisterBuiltinFacilities();
    uint32_t count = 0;
    const BuiltinFacility* rows = BuiltinFacilities(&count);
    ASSERT_EQ(std::size(kHeaderFacilities), count);
    std::set<uint32_t> ids;
    for (uint32_t i = 0; i < count; ++i) {
        const bool firstOfId = ids.insert(rows[i].id).second;
        EXPECT_EQ(FacilityIdOf(rows[i].name), firstOfId ? rows[i].id : 0u) << rows[i].name;
        EXPECT_STREQ(kHeaderFacilities[i].name, rows[i].name) << i;
        EXPECT_EQ(kHeaderFacilities[i].macroValue, rows[i].id) << rows[i].name;
        EXPECT_EQ(kHeaderFacilities[i].listedValue, rows[i].id) << rows[i].name;
    }
    EXPECT_EQ(count - ids.size(), 1u);
    ASSERT_EQ(std::size(kHeaderPriorities), 5u);
    for (const NamedValue& priority : kHeaderPriorities) {
        EXPECT_EQ(priority.macroValue, priority.listedValue);
        EXPECT_STREQ(PriorityNameOf(priority.macroValue), priority.name);
    }
    EXPECT_EQ(VextrelRegisterFacility("VXF_HOST_TEST_A", 15000), 1);
    EXPECT_EQ(VextrelRegisterFacility("VXF_HOST_TEST_B", 15000), 0);  // the id is taken
    EXPECT_EQ(VextrelRegisterFacility("VXF_HOST_TEST_A", 15001), 0);  // the name is taken
    EXPECT_EQ(VextrelRegisterFacility(nullptr, 15002), 0);
    EXPECT_EQ(VextrelRegisterFacility("vxf_host_test_a", 15001), 1);
    EXPECT_STREQ(FacilityNameOf(15000), "VXF_HOST_TEST_A");
    EXPECT_EQ(FacilityIdOf("vxf_host_test_a"), 15001u);
    // Priority byte zero reads as the lowest level when tracing and as the highest when asking.
    EXPECT_EQ(TracePriorityOfWord(0x00000007u), 1u);
    EXPECT_EQ(QueryPriorityOfWord(0x00000007u), 16u);
    EXPECT_EQ(FacilityIdOfWord(0xFFFFFFFFu), 0x00FFFFFFu);
}

TEST(FacilityOn, FollowsTheGlobalTableAndPriorityChangesRebuildIt) {
    EXPECT_FALSE(VextrelFacilityOnFunc(VXF_WORD(7, 16)));  // no manager
    EXPECT_EQ(VextrelChangeFacilityPriorityFunc(7, VXF_WORD(0, VXP_HIGH)), 0u);
    PublishedManager manager;
    RebuildGlobalPriorityMap(manager.get(), true);
    // A priority byte of 17 or more passes even the "off" entry, but not beyond the table.
    EXPECT_TRUE(VextrelFacilityOnFunc(VXF_WORD(12345, 17)));
    EXPECT_TRUE(VextrelFacilityOnFunc(0xFF000000u | 20479u));
    EXPECT_FALSE(VextrelFacilityOnFunc(VXF_WORD(20480, 255)));
    EXPECT_FALSE(VextrelIsActiveFunc());
    TraceConfig* config = manager.AddUndrainedConfig(7, VXP_NORMAL);
    EXPECT_TRUE(VextrelIsActiveFunc());
    EXPECT_TRUE(VextrelFacilityOnFunc(VXF_WORD(7, VXP_NORMAL)));
    EXPECT_TRUE(VextrelFacilityOnFunc(7));
    EXPECT_FALSE(VextrelFacilityOnFunc(VXF_WORD(7, VXP_LOW)));
    EXPECT_FALSE(VextrelFacilityOnFunc(VXF_WORD(8, VXP_URGENT)));

    config->console.SetFacilityPriority(9, VXP_LOW);
    config->client.SetFacilityPriority(9, VXP_LOWEST);
    EXPECT_EQ(VextrelChangeFacilityPriorityFunc(7, VXF_WORD(0, VXP_HIGH)), 0x04000000u);  // returns the old level
    EXPECT_EQ(GlobalSummary()->Get(7), VXP_HIGH);
    // A priority byte of 0, or a full facility word as the id, changes nothing and skips the rebuild;
    // an unconfigured facility returns 0 but still rebuilds.
    config->file.Table().Set(7, VXP_LOW);
    EXPECT_EQ(VextrelChangeFacilityPriorityFunc(7, VXP_URGENT), 0u);
    EXPECT_EQ(VextrelChangeFacilityPriorityFunc(VXF_WORD(7, 8), VXF_WORD(0, 16)), 0u);
    EXPECT_EQ(GlobalSummary()->Get(7), VXP_HIGH);
    EXPECT_EQ(VextrelChangeFacilityPriorityFunc(8, VXF_WORD(0, VXP_URGENT)), 0u);
    EXPECT_EQ(GlobalSummary()->Get(7), VXP_LOW);
    // Facility 9: the console comes first; the client tracer has no client and does not qualify.
    EXPECT_EQ(VextrelChangeFacilityPriorityFunc(9, VXF_WORD(0, 17)), static_cast<uint32_t>(VXP_LOW) << 24);
    EXPECT_EQ(VextrelChangeFacilityPriorityFunc(9, VXF_WORD(0, VXP_HIGH)), 0u);
    EXPECT_EQ(config->client.Table().Get(9), VXP_LOWEST);
}

TEST(GlobalSummary, LoweredBeforeAnyTracerAndRaisedOnlyByARebuild) {
    PublishedManager manager;
    TraceConfig* config = manager.AddUndrainedConfig(70, VXP_HIGH);
    VextrelPuts(VXF_WORD(70, VXP_NORMAL), "dropped");
    VextrelFormat(VXF_WORD(70, VXP_HIGH), "kept %d", 1);
    EXPECT_EQ(TakeRecords(*config->Queue()), (std::vector<std::string>{"kept 1"}));

    // A configuration that joins the list lowers the summary at once, before any rebuild, so a
    // merge into a running configuration cannot take a tracer below it.
    TraceConfig* joined = TraceConfig::Create();
    joined->console.SetFacilityPriority(71, VXP_LOW);
    AddConfig(manager.get(), joined);
    EXPECT_TRUE(MayWant(71, VXP_LOW));
    // A tracer lowered before the list is published: publishing lowers the summary.
    joined->client.SetFacilityPriority(72, VXP_LOWEST);
    manager->PublishConfigs();
    EXPECT_TRUE(MayWant(72, VXP_LOWEST));
    EXPECT_FALSE(MayWant(73, VXP_URGENT));

    // A priority change lowers the summary with the tracer (raising it takes the rebuild, above).
    EXPECT_EQ(VextrelChangeFacilityPriorityFunc(70, VXF_WORD(0, VXP_LOW)), static_cast<uint32_t>(VXP_HIGH) << 24);
    VextrelFormat(VXF_WORD(70, VXP_NORMAL), "now kept");
    EXPECT_EQ(TakeRecords(*config->Queue()), (std::vector<std::string>{"now kept"}));
}
