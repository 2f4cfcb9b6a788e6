#include <gtest/gtest.h>

#include <cstring>

#include "core/facility.h"
#include "include/vextrel_facilities.h"

using namespace vextrel;

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

// The public facility header is generated from the library's list; a list changed without
// regenerating the header (cmake -P cmake/generate-facility-header.cmake) fails here.
TEST(FacilityHeader, MatchesTheLibrarysFacilityListAndPriorityNames) {
    uint32_t count = 0;
    const BuiltinFacility* rows = BuiltinFacilities(&count);
    ASSERT_EQ(std::size(kHeaderFacilities), count);
    for (uint32_t i = 0; i < count; ++i) {
        EXPECT_STREQ(kHeaderFacilities[i].name, rows[i].name) << i;
        EXPECT_EQ(kHeaderFacilities[i].macroValue, rows[i].id) << rows[i].name;
        EXPECT_EQ(kHeaderFacilities[i].listedValue, rows[i].id) << rows[i].name;
    }
    for (const NamedValue& priority : kHeaderPriorities) {
        EXPECT_EQ(priority.macroValue, priority.listedValue);
        EXPECT_STREQ(PriorityNameOf(priority.macroValue), priority.name);
    }
    EXPECT_EQ(std::size(kHeaderPriorities), 5u);
}
