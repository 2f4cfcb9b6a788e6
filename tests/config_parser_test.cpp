#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "config/config_parser.h"
#include "config/text_scan.h"
#include "support/config_fixture.h"

using namespace vextrel;
using vextrel::testing::ConfigTest;
using vextrel::testing::ExampleFacility;
using vextrel::testing::ForEachNamedId;

namespace {

constexpr uint32_t kCore = 1;  // VXF_ENGINE_CORE
const std::string kEnableFile = "VXF_ENGINE_CORE=F@VXP_HIGH\n";

class ConfigParser : public ConfigTest {
protected:
    TraceConfig* Parse(const std::string& text) { return ParseInto(text, manager); }
    // Parses the lines after a line that keeps the configuration alive.
    TraceConfig* ParseEnabled(const std::string& lines) {
        TraceConfig* config = Parse(kEnableFile + lines);
        EXPECT_NE(config, nullptr);
        return config;
    }
    std::string NameOf(const TraceConfig* config) {
        char name[kConfigNameCapacity];
        config->name.Get(name);
        return name;
    }
};

void ExpectSameConfig(const TraceConfig& a, const TraceConfig& b) {
    EXPECT_TRUE(a.console.SameBaseAs(b.console));
    EXPECT_FALSE(a.file != b.file);
    EXPECT_TRUE(a.client.SameBaseAs(b.client));
    EXPECT_EQ(a.queueSize, b.queueSize);
    EXPECT_EQ(a.quiet.load(), b.quiet.load());
    EXPECT_STREQ(a.traceFolder, b.traceFolder);
    char nameA[kConfigNameCapacity], nameB[kConfigNameCapacity];
    a.name.Get(nameA);
    b.name.Get(nameB);
    EXPECT_STREQ(nameA, nameB);
}

}  // namespace

TEST_F(ConfigParser, NineLineExample) {
    const uint32_t example = ExampleFacility();
    const std::string text =
        "# mixer tracing\n"
        "name=Mixer trace  \n"
        "TraceQueueSize=Medium\n"
        "append=true\n"
        "logfilelimit=10\n"
        "VXF_ALL=F@VXP_URGENT\n"
        "VXF_EXAMPLE=File@VXP_NORMAL,c@vxp_high;Socket@VXP_LOW, F@VXP_LOWEST\n"
        "disableconsoletracing=TRUE\n"
        "bequiet=no";
    TraceConfig* config = Parse(text);
    ASSERT_NE(config, nullptr);
    ASSERT_EQ(manager->configs, std::vector<TraceConfig*>{config});
    EXPECT_TRUE(manager->tableDirty);
    EXPECT_EQ(NameOf(config), "Mixer trace");
    EXPECT_EQ(config->queueSize, 16384u);
    EXPECT_TRUE(config->file.append);
    EXPECT_EQ(config->file.logFileLimit, 10);
    EXPECT_TRUE(config->quiet.load());
    EXPECT_STREQ(config->traceFolder, kDefaultFolder);
    EXPECT_STREQ(config->configPath, "");

    EXPECT_EQ(config->file.State(), kTracerActive);
    std::set<uint32_t> named;
    ForEachNamedId([&](uint32_t id) {
        named.insert(id);
        EXPECT_EQ(config->file.Table().Get(id), id == example ? VXP_NORMAL : VXP_URGENT) << id;
    });
    EXPECT_EQ(config->file.ConfiguredFacilities(), named);
    EXPECT_EQ(config->file.Table().Get(0), 1u);
    EXPECT_EQ(config->file.Table().Get(kFacilityAll), kPriorityOff);
    EXPECT_EQ(config->file.Table().Get(example + 1), kPriorityOff);

    EXPECT_EQ(config->console.State(), kTracerDisabled);
    EXPECT_EQ(config->console.Table().Get(example), VXP_HIGH);
    EXPECT_EQ(config->console.ConfiguredFacilities(), std::set<uint32_t>{example});
    EXPECT_EQ(config->client.State(), kTracerActive);
    EXPECT_EQ(config->client.Table().Get(example), VXP_LOW);
    EXPECT_EQ(config->client.ConfiguredFacilities(), std::set<uint32_t>{example});
}

TEST_F(ConfigParser, KeywordsIgnoreCaseButKeysAreTakenAsWritten) {
    EXPECT_EQ(NameOf(ParseEnabled("NAME=upper")), "upper");
    EXPECT_EQ(NameOf(ParseEnabled("Name=mixed")), "mixed");
    EXPECT_EQ(NameOf(ParseEnabled("name =spaced")), "");        // the key keeps its blank
    EXPECT_EQ(NameOf(ParseEnabled("name=  lead\t \t")), "  lead");  // only trailing blanks go
    EXPECT_EQ(NameOf(ParseEnabled("==name==a=b")), "a");           // runs of "=" are one separator
    EXPECT_EQ(NameOf(ParseEnabled("name=" + std::string(40, 'n'))), std::string(31, 'n'));

    for (const char* value : {"0", "no", " false", "true", "FALSEx"}) {
        EXPECT_TRUE(ParseEnabled(std::string("bequiet=") + value)->quiet.load()) << value;
    }
    EXPECT_FALSE(ParseEnabled("bequiet=FaLsE")->quiet.load());
    EXPECT_TRUE(ParseEnabled("bequiet=1\nbequiet=")->quiet.load());  // nothing after "=" does nothing
    EXPECT_FALSE(ParseEnabled("append=false")->file.append);
    EXPECT_TRUE(ParseEnabled("APPEND=whatever")->file.append);

    EXPECT_EQ(ParseEnabled("tracequeuesize=large")->queueSize, 32768u);
    EXPECT_EQ(ParseEnabled("tracequeuesize=MeDiUm")->queueSize, 16384u);
    EXPECT_EQ(ParseEnabled("tracequeuesize=large\ntracequeuesize=65536")->queueSize, 4096u);
    EXPECT_EQ(ParseEnabled("counterfile=counter.txt")->file.counterValue, 0u);
}

TEST_F(ConfigParser, LogFileLimitConvertsLikeAtol) {
    const std::pair<const char*, int32_t> cases[] = {
        {"abc", 0}, {"-3", -3}, {"12abc", 12}, {"  7", 7}, {"\t-8", -8}, {"+5", 5}, {"- 5", 0}, {"+-5", 0},
        {"2147483647", INT32_MAX}, {"99999999999999999999", INT32_MAX}, {"-2147483648", INT32_MIN},
        {"-99999999999999999999", INT32_MIN}};
    for (const auto& [value, expected] : cases) {
        EXPECT_EQ(ParseEnabled(std::string("logfilelimit=") + value)->file.logFileLimit, expected) << value;
    }
}

TEST_F(ConfigParser, TraceFolderTakesValueOrDefault) {
    EXPECT_STREQ(ParseEnabled("filetracingdir=use_relative_path")->traceFolder, kDefaultFolder);
    EXPECT_STREQ(ParseEnabled("filetracingdir=D:\\Logs\\Mix ")->traceFolder, "D:\\Logs\\Mix");
    // The longest value a line can hold fills the field without passing its end.
    const std::string longest(kConfigLineCapacity - 1 - std::strlen("filetracingdir="), 'd');
    EXPECT_EQ(std::string(ParseEnabled("filetracingdir=" + longest)->traceFolder), longest);
}

TEST_F(ConfigParser, DisablingWinsBeforeOrAfterFacilityLines) {
    EXPECT_EQ(Parse("disablefiletracing=true\n" + kEnableFile), nullptr);
    EXPECT_EQ(Parse(kEnableFile + "DisableFileTracing=TRUE"), nullptr);
    EXPECT_EQ(ParseEnabled("disablefiletracing=yes")->file.State(), kTracerActive);

    TraceConfig* config = Parse("VXF_ENGINE_CORE=C@VXP_LOW,S@VXP_LOW\ndisableconsoletracing=true\n"
                                "VXF_ENGINE_CORE=C@VXP_HIGH\ndisableremotetracing=true\nVXF_ENGINE_SCHEDULER=F@VXP_LOW");
    ASSERT_NE(config, nullptr);
    EXPECT_EQ(config->console.State(), kTracerDisabled);
    EXPECT_EQ(config->console.Table().Get(kCore), VXP_HIGH);  // still recorded, never turned on
    EXPECT_EQ(config->client.State(), kTracerDisabled);
    EXPECT_EQ(config->file.State(), kTracerActive);

    const size_t kept = manager->configs.size();
    EXPECT_EQ(Parse("# comment\nname=x\nbequiet=true\nappend=true\nlogfilelimit=3\n"), nullptr);
    EXPECT_EQ(Parse("#VXF_ENGINE_CORE=F@VXP_LOW"), nullptr);
    EXPECT_EQ(Parse("VXF_ENGINE_CORE=@VXP_LOW"), nullptr);
    EXPECT_EQ(manager->configs.size(), kept);
}

TEST_F(ConfigParser, FacilityTokensSelectTracersByFirstCharacter) {
    struct Case {
        const char* token;
        uint32_t console, file, client;
    };
    const Case cases[] = {
        {"C@VXP_LOW", VXP_LOW, 17, 17},      {"cx@VXP_LOW", VXP_LOW, 17, 17},   {"Client@VXP_LOW", VXP_LOW, 17, 17},
        {"f@vxp_low", 17, VXP_LOW, 17},      {"S@VXP_LOW", 17, 17, VXP_LOW},   {"t@VXP_LOW", 17, 17, VXP_LOW},
        {"s@VXP_LOW", 17, 17, 17},           {"T@VXP_LOW", 17, 17, 17},        {" F@VXP_LOW", 17, 17, 17},
        {"@VXP_LOW", 17, 17, 17},            {"F@VXP_LOW@", 17, 17, 17},       {"F@VXP_LOW@VXP_LOW", 17, 17, 17},
        {"FVXP_LOW", 17, 17, 17},            {"F@2", 17, 17, 17},              {"F@ VXP_LOW", 17, 17, 17},
        {"F@VXP_LO", 17, 17, 17},            {"F@VXP_LOWESTX", 17, 17, 17},
    };
    const uint32_t scheduler = 2;
    for (const Case& c : cases) {
        TraceConfig* config = ParseEnabled(std::string("VXF_ENGINE_SCHEDULER=") + c.token);
        EXPECT_EQ(config->console.Table().Get(scheduler), c.console) << c.token;
        EXPECT_EQ(config->file.Table().Get(scheduler), c.file) << c.token;
        EXPECT_EQ(config->client.Table().Get(scheduler), c.client) << c.token;
    }
    // ";" separates like ","; runs of separators make no empty token; a blank after one belongs to
    // the next token.
    TraceConfig* config = ParseEnabled("VXF_ENGINE_SCHEDULER=C@VXP_LOW;;F@VXP_NORMAL,,; S@VXP_URGENT,t@VXP_HIGH");
    EXPECT_EQ(config->console.Table().Get(scheduler), VXP_LOW);
    EXPECT_EQ(config->file.Table().Get(scheduler), VXP_NORMAL);
    EXPECT_EQ(config->client.Table().Get(scheduler), VXP_HIGH);

    // Unknown names, names in another case and names of ids beyond the tables configure nothing.
    RegisterFacility("VXF_BEYOND_TABLES", kFacilityIdLimit + 100);
    EXPECT_EQ(Parse("vxf_engine_core=F@VXP_LOW\nVXF_NO_SUCH=F@VXP_LOW\nVXF_BEYOND_TABLES=F@VXP_LOW"), nullptr);
}

TEST_F(ConfigParser, AllFacilitiesExpandToNamedIdsAndLaterLinesWin) {
    const uint32_t example = ExampleFacility();
    TraceConfig* config = Parse("VXF_ALL=C@VXP_HIGH\nvxf_all=F@VXP_LOW\n"
                                "VXF_ALL=F@VXP_HIGH\nVXF_EXAMPLE=F@VXP_LOW\n"
                                "VXF_EXAMPLE=S@VXP_LOW\nVXF_ALL=S@VXP_HIGH");
    ASSERT_NE(config, nullptr);
    ForEachNamedId([&](uint32_t id) {
        EXPECT_EQ(config->console.Table().Get(id), VXP_HIGH);
        EXPECT_EQ(config->file.Table().Get(id), id == example ? VXP_LOW : VXP_HIGH);
        EXPECT_EQ(config->client.Table().Get(id), VXP_HIGH);
    });
    for (const BaseTracer* tracer : {static_cast<const BaseTracer*>(&config->console),
                                     static_cast<const BaseTracer*>(&config->file)}) {
        EXPECT_EQ(tracer->Table().Get(0), 1u);
        EXPECT_EQ(tracer->Table().Get(kFacilityAll), kPriorityOff);
        EXPECT_EQ(tracer->Table().Get(example + 1), kPriorityOff);
        EXPECT_EQ(tracer->ConfiguredFacilities().count(kFacilityAll), 0u);
    }
}

TEST_F(ConfigParser, LineEndsAndLengthsSplitLinesAlike) {
    const std::vector<std::string> lines = {"name=ends", "VXF_ENGINE_CORE=F@VXP_LOW", "bequiet=true",
                                            "VXF_ENGINE_CORE=C@VXP_HIGH", "logfilelimit=4"};
    std::vector<TraceConfig*> configs;
    for (const std::string separator : {"\n", "\r\n", "\r", "\n\n\r\n\r\r", "\n\r"}) {
        std::string text;
        for (const std::string& line : lines) text += line + separator;
        configs.push_back(Parse(text));
        text.resize(text.size() - separator.size());  // the last line without a line end
        configs.push_back(Parse(text));
    }
    for (TraceConfig* config : configs) {
        ASSERT_NE(config, nullptr);
        ExpectSameConfig(*configs[0], *config);
    }
    EXPECT_EQ(configs[0]->file.logFileLimit, 4);

    // Exactly `length` bytes are read, from a buffer that ends there; a NUL cuts its line only.
    static const char kText[] = "name=ab\0cd\nVXF_ENGINE_CORE=F@VXP_LOWEST";
    const int32_t size = static_cast<int32_t>(sizeof kText - 1);
    const int32_t cutAtLow = size - static_cast<int32_t>(std::strlen("EST"));
    for (int32_t length = 0; length <= size; ++length) {
        const std::vector<char> bytes(kText, kText + length);
        TraceConfig* config = ParseConfigText(bytes.data(), length, manager);
        const uint32_t expected = length == size ? VXP_LOWEST : length == cutAtLow ? VXP_LOW : 0;
        ASSERT_EQ(config != nullptr, expected != 0) << length;
        if (config == nullptr) continue;
        EXPECT_EQ(NameOf(config), "ab");
        EXPECT_EQ(config->file.Table().Get(kCore), expected) << length;
    }
    EXPECT_EQ(ParseConfigText("VXF_ENGINE_CORE=F@VXP_LOW", -1, manager), nullptr);
    EXPECT_EQ(ParseConfigText(nullptr, 10, manager), nullptr);
    EXPECT_EQ(ParseConfigText("VXF_ENGINE_CORE=F@VXP_LOW", 25, nullptr), nullptr);
}

TEST_F(ConfigParser, OverlongLinesContinueAsFurtherLines) {
    // The 1023rd character ends the first line; the rest of the physical line is a line of its own.
    const std::string padded = "#" + std::string(kConfigLineCapacity - 2, 'x') + "VXF_ENGINE_CORE=F@VXP_LOW";
    TraceConfig* config = Parse(padded);
    ASSERT_NE(config, nullptr);
    EXPECT_EQ(config->file.Table().Get(kCore), VXP_LOW);

    EXPECT_EQ(Parse("#" + std::string(kConfigLineCapacity - 1, 'x') + "VXF_ENGINE_CORE=F@VXP_LOW"), nullptr);

    config = ParseEnabled("name=" + std::string(2000, 'y') + "\nfiletracingdir=" + std::string(2000, 'z'));
    EXPECT_EQ(NameOf(config), std::string(31, 'y'));
    EXPECT_EQ(std::strlen(config->traceFolder), kConfigLineCapacity - 1 - std::strlen("filetracingdir="));
}

TEST(TextScan, TokensFollowStrtokRules) {
    char text[] = "==a=b==c=";
    char* cursor = text;
    std::vector<std::string> tokens;
    while (char* token = NextToken(&cursor, "=")) tokens.emplace_back(token);
    EXPECT_EQ(tokens, (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(NextToken(&cursor, "="), nullptr);  // stays at the end
    char empty[] = ",;,";
    cursor = empty;
    EXPECT_EQ(NextToken(&cursor, ",;"), nullptr);
    EXPECT_TRUE(EqualsIgnoringCase("VXP_High", "vxp_HIGH"));
    EXPECT_FALSE(EqualsIgnoringCase("VXP_HIGH", "VXP_HIGHER"));
    EXPECT_FALSE(EqualsIgnoringCase("\xC4", "\xE4"));  // only ASCII letters fold
}
