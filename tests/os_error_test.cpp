#include <gtest/gtest.h>

#include <set>
#include <string>

#include "include/vextrel.h"

namespace {

const std::string kUnknown = "Unknown OSErr";

// A run of consecutive codes, counting downwards from `first`, with the texts of its two ends.
struct CodeRun {
    int32_t first;
    int32_t length;
    const char* firstText;
    const char* lastText;
};

constexpr CodeRun kRuns[] = {
    {-6001, 50, "Unsupported", "Too Few TDM Outputs"},
    {-6068, 8, "Unknown DSP Error", "Deadband Overrun Error"},
    {-6077, 20, "Bad Aux Channel", "Invalid Data Received"},
};

TEST(OSErrorText, RunsHaveTheirEndTextsAndNoMissingCode) {
    for (const CodeRun& run : kRuns) {
        EXPECT_EQ(VextrelOSErrToString(run.first), std::string(run.firstText));
        EXPECT_EQ(VextrelOSErrToString(run.first - run.length + 1), std::string(run.lastText));
        std::set<std::string> texts;
        for (int32_t code = run.first; code > run.first - run.length; --code) texts.insert(VextrelOSErrToString(code));
        EXPECT_EQ(texts.size(), static_cast<size_t>(run.length)) << "run from " << run.first;
        EXPECT_EQ(texts.count(kUnknown), 0u) << "run from " << run.first;
    }
}

TEST(OSErrorText, ExactlyNinetyFourCodesAreKnownAndTheGapsAreNot) {
    int known = 0;
    for (int32_t code = -10000; code <= 10000; ++code) {
        if (VextrelOSErrToString(code) != kUnknown) ++known;
    }
    EXPECT_EQ(known, 94);
    for (int32_t code : {INT32_MIN, INT32_MAX, -6000, -6051, -6067, -6076, -6097, -6100, 1, -1, -1177, -1179}) {
        EXPECT_EQ(VextrelOSErrToString(code), kUnknown) << code;
    }
}

}  // namespace
