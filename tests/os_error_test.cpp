#include <gtest/gtest.h>

#include <set>
#include <string>

#include "include/vextrel.h"

namespace {

TEST(OSErrorText, RunsOfKnownCodesHaveDistinctTextsAndEverythingElseIsUnknown) {
    const std::string unknown = "Unknown OSErr";
    // Runs counting downwards from their first code, with the texts of both ends.
    const struct { int32_t first, length; const char *firstText, *lastText; } runs[] = {
        {-6001, 50, "Unsupported", "Too Few TDM Outputs"},
        {-6068, 8, "Unknown DSP Error", "Deadband Overrun Error"},
        {-6077, 20, "Bad Aux Channel", "Invalid Data Received"}};
    std::set<std::string> texts;
    for (const auto& run : runs) {
        EXPECT_EQ(VextrelOSErrToString(run.first) + std::string("|") + VextrelOSErrToString(run.first - run.length + 1),
                  std::string(run.firstText) + "|" + run.lastText);
        for (int32_t code = run.first; code > run.first - run.length; --code) texts.insert(VextrelOSErrToString(code));
    }
    EXPECT_EQ(texts.size(), 78u);
    EXPECT_EQ(texts.count(unknown), 0u);
    int known = 0;
    for (int32_t code = -10000; code <= 10000; ++code) known += VextrelOSErrToString(code) != unknown;
    EXPECT_EQ(known, 94);
    EXPECT_EQ(VextrelOSErrToString(INT32_MIN) + std::string(VextrelOSErrToString(INT32_MAX)), unknown + unknown);
}

}  // namespace
