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

TEST(OSErrorText, GapsAroundTheRunsAreUnknown) {
    for (int32_t code = -6051; code >= -6067; --code) EXPECT_EQ(VextrelOSErrToString(code), kUnknown) << code;
    for (int32_t code : {-6000, -6076, -6097, -6100, 1, -1, -1177, -1179}) {
        EXPECT_EQ(VextrelOSErrToString(code), kUnknown) << code;
    }
}

TEST(OSErrorText, SinglesAndSamplesFromInsideRuns) {
    EXPECT_STREQ(VextrelOSErrToString(0), "Success");
    EXPECT_STREQ(VextrelOSErrToString(-1178), "Card Has Broken Fan");
    EXPECT_STREQ(VextrelOSErrToString(-6002), "NoKelvoInit");
    EXPECT_STREQ(VextrelOSErrToString(-6028), "DSP Cant Flush Events");
    EXPECT_STREQ(VextrelOSErrToString(-6072), "Driver Assert Error");
    EXPECT_STREQ(VextrelOSErrToString(-6091), "Re-enter Interrupt Error");
    EXPECT_STREQ(VextrelOSErrToString(-6101), "Core Audio Overload");
    EXPECT_STREQ(VextrelOSErrToString(-9171), "Quenby Streaming Error");
    EXPECT_STREQ(VextrelOSErrToString(-9184), "Possible System Hang Detected");
    EXPECT_STREQ(VextrelOSErrToString(-9735), "Beyond Playable Range");
}

TEST(OSErrorText, ExactlyNinetyFourCodesAreKnown) {
    int known = 0;
    for (int32_t code = -10000; code <= 10000; ++code) {
        if (VextrelOSErrToString(code) != kUnknown) ++known;
    }
    EXPECT_EQ(known, 94);
    for (int32_t code : {INT32_MIN, INT32_MAX}) EXPECT_EQ(VextrelOSErrToString(code), kUnknown);
}

}  // namespace
