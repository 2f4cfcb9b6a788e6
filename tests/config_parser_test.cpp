#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/config_fixture.h"

using namespace vextrel;
using vextrel::testing::ExampleFacility;
using vextrel::testing::IsNamed;
using ConfigParser = vextrel::testing::ConfigTest;

namespace {
const std::string kEnable = "VXF_ENGINE_CORE=F@VXP_HIGH\n";  // facility 1 in the file tracer
}

TEST_F(ConfigParser, NineLineExample) {
    const uint32_t example = ExampleFacility();
    TraceConfig* config = Parse("# mixer tracing\nname=Mixer trace  \nTraceQueueSize=Medium\nappend=true\n"
                                "logfilelimit=10\nVXF_ALL=F@VXP_URGENT\n"
                                "VXF_EXAMPLE=File@VXP_NORMAL,c@vxp_high;Socket@VXP_LOW, F@VXP_LOWEST\n"
                                "disableconsoletracing=TRUE\nbequiet=no");
    ASSERT_NE(config, nullptr);
    EXPECT_EQ(Name(config) + "|" + config->traceFolder, "Mixer trace|dflt");
    EXPECT_TRUE(config->queueSize == 16384 && config->file.append && config->quiet && config->file.logFileLimit == 10);
    EXPECT_TRUE(config->console.State() == kTracerDisabled && config->client.State() == kTracerActive);
    EXPECT_EQ(Entries(config, 0), "1 1 1");
    std::set<uint32_t> named;
    for (uint32_t id = 1; id < kFacilityIdLimit; ++id) {
        if (IsNamed(id)) named.insert(id);
        ASSERT_EQ(Entries(config, id), id == example ? "8 4 2" : IsNamed(id) ? "17 16 17" : "17 17 17") << id;
    }
    EXPECT_EQ(config->file.ConfiguredFacilities(), named);
    EXPECT_EQ(config->client.ConfiguredFacilities(), std::set<uint32_t>{example});
}

TEST_F(ConfigParser, OptionValues) {
    const auto summary = [](const TraceConfig* c) {
        if (c == nullptr) return std::string("no configuration");
        return Name(c) + "|" + std::to_string(c->queueSize) + "|" + (c->quiet ? "quiet|" : "|") +
               (c->file.append ? "append|" : "|") + std::to_string(c->file.logFileLimit) + "|" + c->traceFolder;
    };
    const std::pair<std::string, std::string> cases[] = {
        {"NAME=a\nName=b", "b|4096|||-1|dflt"}, {"name =x", "|4096|||-1|dflt"}, {"==name==a=b", "a|4096|||-1|dflt"},
        {"name=  lead\t \t", "  lead|4096|||-1|dflt"},
        {"bequiet=no\nappend=0", "|4096|quiet|append|-1|dflt"}, {"bequiet= false\nbequiet=", "|4096|quiet||-1|dflt"},
        {"bequiet=1\nBeQuiet=FaLsE\nappend=false", "|4096|||-1|dflt"},
        {"tracequeuesize=large", "|32768|||-1|dflt"}, {"tracequeuesize=MeDiUm", "|16384|||-1|dflt"},
        {"tracequeuesize=large\ntracequeuesize=65536", "|4096|||-1|dflt"},
        {"logfilelimit=abc", "|4096|||0|dflt"}, {"logfilelimit=12abc", "|4096|||12|dflt"}, {"logfilelimit= \t+5", "|4096|||5|dflt"},
        {"logfilelimit=99999999999999999999", "|4096|||2147483647|dflt"}, {"logfilelimit=-2147483649", "|4096|||-2147483648|dflt"},
        {"filetracingdir=x\nfiletracingdir=use_relative_path", "|4096|||-1|dflt"}, {"filetracingdir=D:\\L ", "|4096|||-1|D:\\L"},
    };
    for (const auto& [lines, expected] : cases) EXPECT_EQ(summary(Parse(kEnable + lines)), expected) << lines;
}

TEST_F(ConfigParser, FacilityTokensAndDisabling) {
    const std::pair<const char*, const char*> cases[] = {
        {"C@VXP_LOW", "2 17 17"}, {"cx@VXP_LOW", "2 17 17"}, {"Client@VXP_LOW", "2 17 17"}, {"f@vxp_low", "17 2 17"},
        {"S@VXP_LOW", "17 17 2"}, {"t@VXP_LOW", "17 17 2"}, {"s@VXP_LOW,T@VXP_LOW, F@VXP_LOW,@VXP_LOW", "17 17 17"},
        {"F@VXP_LOW@VXP_LOW,FVXP_LOW,F@2,F@ VXP_LOW,F@VXP_LOWESTX", "17 17 17"},
        {"C@VXP_LOW;;F@VXP_NORMAL,,; S@VXP_URGENT,t@VXP_HIGH", "2 4 8"},
        {"F@VXP_LOW\nVXF_ALL=F@VXP_HIGH\nvxf_all=C@VXP_LOW", "17 8 17"}, {"C@VXP_LOW\ndisableconsoletracing=true", "2 17 17"},
    };
    for (const auto& [tokens, entries] : cases) {
        EXPECT_EQ(Entries(Parse(kEnable + "VXF_ENGINE_SCHEDULER=" + tokens), 2), entries) << tokens;
    }
    EXPECT_EQ(manager->configs.back()->console.State(), kTracerDisabled);
    RegisterFacility("VXF_BEYOND_TABLES", kFacilityIdLimit + 100);
    for (const std::string& text : {"disablefiletracing=true\n" + kEnable, kEnable + "DisableFileTracing=TRUE",
                                    "#" + kEnable + "name=x\nbequiet=true", std::string("VXF_ENGINE_CORE=@VXP_LOW\n"
                                    "vxf_engine_core=F@VXP_LOW\nVXF_NO_SUCH=F@VXP_LOW\nVXF_BEYOND_TABLES=F@VXP_LOW")}) {
        EXPECT_EQ(Parse(text), nullptr) << text;
    }
    EXPECT_EQ(Parse(kEnable + "disablefiletracing=yes")->file.State(), kTracerActive);
}

TEST_F(ConfigParser, LineEndsLengthsAndOverlongLines) {
    for (const char* end : {"\n", "\r\n", "\r", "\n\n\r\n\r\r"}) {
        for (const char* last : {"", end}) {
            std::string text = "name=ends";
            text.append(end).append("VXF_ENGINE_CORE=F@VXP_LOW").append(end).append("VXF_ENGINE_CORE=C@VXP_HIGH").append(last);
            TraceConfig* config = Parse(text);
            ASSERT_NE(config, nullptr);
            EXPECT_EQ(Name(config) + " " + Entries(config, 1), "ends 8 2 17");
        }
    }
    // Exactly `length` bytes are read, from a buffer that ends there; a NUL cuts only its own line.
    static const char kText[] = "name=ab\0cd\nVXF_ENGINE_CORE=F@VXP_LOWEST";
    const int32_t size = sizeof kText - 1;
    for (int32_t length = -1; length <= size; ++length) {
        const std::vector<char> bytes(kText, kText + std::max(length, 0));
        const std::unique_ptr<TraceConfig> config = ParseConfigText(bytes.data(), length, ConfigContext{"dflt"});
        const char* expected = length == size ? "ab 17 1 17" : length == size - 3 ? "ab 17 2 17" : "";
        ASSERT_EQ(config ? Name(config.get()) + " " + Entries(config.get(), 1) : "", expected) << length;
    }

    // The 1023rd character ends a line; the rest of the physical line is read as further lines.
    EXPECT_NE(Parse(std::string("#").append(1022, 'x') + kEnable), nullptr);
    EXPECT_EQ(Parse(std::string("#").append(1023, 'x') + kEnable), nullptr);
    const TraceConfig* config = Parse(kEnable + "name=" + std::string(2000, 'y') + "\nfiletracingdir=" + std::string(2000, 'z'));
    EXPECT_EQ(Name(config) + "|" + config->traceFolder, std::string(31, 'y') + "|" + std::string(1008, 'z'));
}
