// The configuration language, read from text and from a base file with its continuation files.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "config/config_consolidation.h"
#include "config/config_loader.h"
#include "support/config_fixture.h"

using namespace vextrel;
using vextrel::testing::ExampleFacility;
using vextrel::testing::IsNamed;
using ConfigParser = vextrel::testing::ConfigTest;
using Paths = std::vector<std::string>;

namespace {

const std::string kEnable = "VXF_ENGINE_CORE=F@VXP_HIGH\n";  // facility 1 in the file tracer

class ConfigLoader : public vextrel::testing::ConfigTest {
protected:
    // Loads `base` into `target`, consolidated when asked, and returns the paths it recorded.
    Paths Load(const std::string& base, CVextrelManager* target, bool consolidate = false) {
        const size_t before = LoadedConfigFiles().size();
        for (auto& config : LoadConfigFiles(base.c_str(), ConfigContext{"dflt"})) AddConfig(target, config.release());
        if (consolidate) ConsolidateConfigs(target);
        return {LoadedConfigFiles().begin() + static_cast<std::ptrdiff_t>(before), LoadedConfigFiles().end()};
    }
    // Rewrites the base file, reads a fresh manager from it and compares it with the running one.
    bool ReloadDiffers(const std::string& base, const std::string& text) {
        Write("app.vextrel", text);
        std::unique_ptr<CVextrelManager> fresh(CVextrelManager::Create());
        Load(base, fresh.get(), true);
        return ConfigsDiffer(fresh.get(), manager);
    }
};

}  // namespace

TEST_F(ConfigParser, NineLineExample) {
    const uint32_t example = ExampleFacility();
    TraceConfig* config = Parse(
        "# mixer tracing\nname=Mixer trace  \nTraceQueueSize=Medium\nappend=true\n"
        "logfilelimit=10\nVXF_ALL=F@VXP_URGENT\n"
        "VXF_EXAMPLE=File@VXP_NORMAL,c@vxp_high;Socket@VXP_LOW, F@VXP_LOWEST\n"
        "disableconsoletracing=TRUE\nbequiet=no");
    ASSERT_NE(config, nullptr);
    EXPECT_EQ(Name(config), "Mixer trace");
    EXPECT_STREQ(config->traceFolder, "dflt");
    EXPECT_EQ(config->queueSize, 16384u);
    EXPECT_TRUE(config->file.append);
    EXPECT_TRUE(config->quiet);
    EXPECT_EQ(config->file.logFileLimit, 10);
    EXPECT_EQ(config->console.State(), kTracerDisabled);
    EXPECT_EQ(config->client.State(), kTracerActive);
    EXPECT_EQ(Entries(config, 0), "1 1 1");
    std::vector<uint32_t> named;
    for (uint32_t id = 1; id < kFacilityIdLimit; ++id) {
        if (IsNamed(id)) named.push_back(id);
        ASSERT_EQ(Entries(config, id), id == example ? "8 4 2" : IsNamed(id) ? "17 16 17" : "17 17 17") << id;
    }
    EXPECT_EQ(config->file.ConfiguredFacilities(), named);
    EXPECT_EQ(config->client.ConfiguredFacilities(), std::vector<uint32_t>{example});
}

TEST_F(ConfigParser, OptionValues) {
    const auto summary = [](const TraceConfig* c) {
        if (c == nullptr) return std::string("no configuration");
        return Name(c) + "|" + std::to_string(c->queueSize) + "|" + (c->quiet ? "quiet|" : "|") +
               (c->file.append ? "append|" : "|") + std::to_string(c->file.logFileLimit) + "|" + c->traceFolder;
    };
    const std::pair<std::string, std::string> cases[] = {
        {"NAME=a\nName=b", "b|4096|||-1|dflt"},
        {"name =x", "|4096|||-1|dflt"},
        {"name=  lead\t \t", "  lead|4096|||-1|dflt"},
        {"bequiet=no\nappend=0", "|4096|quiet|append|-1|dflt"},
        {"bequiet=1\nBeQuiet=FaLsE\nappend=false", "|4096|||-1|dflt"},
        {"tracequeuesize=large", "|32768|||-1|dflt"},
        {"tracequeuesize=large\ntracequeuesize=65536", "|4096|||-1|dflt"},
        {"logfilelimit=abc", "|4096|||0|dflt"},
        {"logfilelimit=12abc", "|4096|||12|dflt"},
        {"logfilelimit= \t+5", "|4096|||5|dflt"},
        {"logfilelimit=99999999999999999999", "|4096|||2147483647|dflt"},
        {"logfilelimit=-2147483649", "|4096|||-2147483648|dflt"},
        {"filetracingdir=x\nfiletracingdir=use_relative_path", "|4096|||-1|dflt"},
        {"filetracingdir=D:\\L ", "|4096|||-1|D:\\L"},
    };
    for (const auto& [lines, expected] : cases) EXPECT_EQ(summary(Parse(kEnable + lines)), expected) << lines;
}

TEST_F(ConfigParser, FacilityTokensAndDisabling) {
    const std::pair<const char*, const char*> cases[] = {
        {"cx@VXP_LOW", "2 17 17"},
        {"f@vxp_low", "17 2 17"},
        {"t@VXP_LOW", "17 17 2"},
        {"s@VXP_LOW,T@VXP_LOW, F@VXP_LOW,@VXP_LOW", "17 17 17"},
        {"F@VXP_LOW@VXP_LOW,FVXP_LOW,F@2,F@ VXP_LOW,F@VXP_LOWESTX", "17 17 17"},
        {"C@VXP_LOW;;F@VXP_NORMAL,,; S@VXP_URGENT,t@VXP_HIGH", "2 4 8"},
        {"F@VXP_LOW\nVXF_ALL=F@VXP_HIGH\nvxf_all=C@VXP_LOW", "17 8 17"},
        {"C@VXP_LOW\ndisableconsoletracing=true", "2 17 17"},
    };
    for (const auto& [tokens, entries] : cases) {
        EXPECT_EQ(Entries(Parse(kEnable + "VXF_ENGINE_SCHEDULER=" + tokens), 2), entries) << tokens;
    }
    EXPECT_EQ(manager->configs.back()->console.State(), kTracerDisabled);
    RegisterFacility("VXF_BEYOND_TABLES", kFacilityIdLimit + 100);
    for (const std::string& text :
         {"disablefiletracing=true\n" + kEnable, kEnable + "DisableFileTracing=TRUE",
          "#" + kEnable + "name=x\nbequiet=true",
          std::string("VXF_ENGINE_CORE=@VXP_LOW\n"
                      "vxf_engine_core=F@VXP_LOW\nVXF_NO_SUCH=F@VXP_LOW\nVXF_BEYOND_TABLES=F@VXP_LOW")}) {
        EXPECT_EQ(Parse(text), nullptr) << text;
    }
    EXPECT_EQ(Parse(kEnable + "disablefiletracing=yes")->file.State(), kTracerActive);
}

// Configurations that set VXF_ALL share its table pages until one sets an entry there: the
// override, a merge and a registration made afterwards each change only the table they are for.
TEST_F(ConfigParser, VxfAllPagesSharedUntilChanged) {
    TraceConfig* high = Parse("VXF_ALL=F@VXP_HIGH\n");
    TraceConfig* same = Parse("VXF_ALL=F@VXP_HIGH\n");
    TraceConfig* normal = Parse("VXF_ALL=F@VXP_NORMAL\nVXF_ENGINE_CORE=F@VXP_URGENT\nVXF_MIXER_CORE=F@VXP_LOWEST\n");
    ASSERT_NE(high, nullptr);
    ASSERT_NE(same, nullptr);
    ASSERT_NE(normal, nullptr);
    EXPECT_EQ(high->file.Table().OwnPages(), 0u);
    EXPECT_TRUE(high->file.Table().SameAs(same->file.Table()));
    EXPECT_EQ(normal->file.Table().Get(1), 16u);  // the override, after VXF_ALL in its file
    EXPECT_EQ(normal->file.Table().Get(2), 4u);
    EXPECT_EQ(normal->file.Table().Get(5000), 17u);  // not registered: VXF_ALL leaves it off

    // Entries above "off" (a priority change can set them) come down to the other's "off" entries.
    high->file.Table().Set(3894, 200);  // beside VXF_DIAGNOSTICS (3893), not registered
    high->file.Table().Set(5000, 200);
    high->MergeFrom(*normal);
    EXPECT_EQ(high->file.Table().Get(1), 8u);
    EXPECT_EQ(high->file.Table().Get(100), 1u);
    EXPECT_EQ(high->file.Table().Get(2), 4u);
    EXPECT_EQ(high->file.Table().Get(0), 1u);
    EXPECT_EQ(high->file.Table().Get(3893), 4u);
    EXPECT_EQ(high->file.Table().Get(3894), 17u);
    EXPECT_EQ(high->file.Table().Get(5000), 17u);
    EXPECT_EQ(same->file.Table().Get(2), 8u);
    EXPECT_EQ(same->file.Table().Get(3894), 17u);

    // A name registered later counts for the next VXF_ALL only. Registrations last for the process:
    // each run of this test registers an id no earlier run took.
    uint32_t lateId = 19000;
    while (FacilityNameOf(lateId) != nullptr) ++lateId;
    ASSERT_EQ(RegisterFacility(("VXF_LATE_REGISTERED_" + std::to_string(lateId)).c_str(), lateId), 1);
    TraceConfig* late = Parse("VXF_ALL=F@VXP_HIGH\n");
    ASSERT_NE(late, nullptr);
    EXPECT_EQ(late->file.Table().Get(lateId), 8u);
    EXPECT_EQ(same->file.Table().Get(lateId), 17u);
}

// A file whose trace folder has a configuration is applied straight into it (the load's way): the
// result is that of merging the configuration built from the file, after every file of a chain.
TEST_F(ConfigParser, FileAppliedIntoItsFolderEqualsMergingItsConfiguration) {
    const char* const texts[] = {
        "VXF_ALL=F@VXP_HIGH\nVXF_ENGINE_CORE=F@VXP_URGENT\nVXF_DISK_READ=C@VXP_LOW\n",
        "VXF_ALL=F@VXP_URGENT\nVXF_ALL=F@VXP_NORMAL\n",
        "VXF_ENGINE_CORE=S@VXP_LOWEST\nVXF_ALL=S@VXP_HIGH\nVXF_MIXER_CHANNEL=S@VXP_URGENT\n",
        "VXF_MIXER_CHANNEL=F@VXP_LOW\nVXF_MIXER_CHANNEL=F@VXP_URGENT\nVXF_ALL=C@VXP_NORMAL\n",
        "disableconsoletracing=true\nVXF_ALL=C@VXP_LOWEST\nVXF_ENGINE_CORE=F@VXP_LOWEST\n",
        "bequiet=1\nappend=true\nlogfilelimit=3\ncrashrecord=0\nVXF_ALL=F@VXP_LOWEST\nVXF_ALL=S@VXP_LOW\n",
        "VXF_ALL=F@VXP_HIGH\nVXF_ENGINE_CORE=F@VXP_URGENT\n",
    };
    const auto read = [](const char* text) {
        return ReadConfigText(text, static_cast<int32_t>(std::strlen(text)), ConfigContext{"dflt"});
    };
    TraceConfig* merged = Parse("VXF_ALL=F@VXP_NORMAL\nVXF_DISK_READ=F@VXP_LOWEST\n");
    TraceConfig* applied = Parse("VXF_ALL=F@VXP_NORMAL\nVXF_DISK_READ=F@VXP_LOWEST\n");
    ASSERT_NE(merged, nullptr);
    ASSERT_NE(applied, nullptr);
    for (const char* text : texts) {
        merged->MergeFrom(*BuildConfig(read(text), ConfigContext{"dflt"}));
        std::unique_ptr<TraceConfig> options = BuildDraftOptions(read(text), ConfigContext{"dflt"});
        ASSERT_NE(options, nullptr) << text;
        applied->MergeFrom(*options);
        LowerToDraft(read(text), applied);
        EXPECT_TRUE(applied->console.SameBaseAs(merged->console)) << text;
        EXPECT_FALSE(applied->file != merged->file) << text;
        EXPECT_TRUE(applied->client.SameAs(merged->client)) << text;
        EXPECT_EQ(applied->quiet.load(), merged->quiet.load()) << text;
        EXPECT_EQ(applied->crashRecord, merged->crashRecord) << text;
    }
    EXPECT_EQ(BuildDraftOptions(read("disablefiletracing=true\nVXF_ENGINE_CORE=F@VXP_LOW\n"), ConfigContext{"dflt"}),
              nullptr);
}

TEST_F(ConfigParser, LineEndsLengthsAndOverlongLines) {
    for (const char* end : {"\n", "\r\n", "\r", "\n\n\r\n\r\r"}) {
        for (const char* last : {"", end}) {
            std::string text = "name=ends";
            text.append(end)
                .append("VXF_ENGINE_CORE=F@VXP_LOW")
                .append(end)
                .append("VXF_ENGINE_CORE=C@VXP_HIGH")
                .append(last);
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
    const TraceConfig* config =
        Parse(kEnable + "name=" + std::string(2000, 'y') + "\nfiletracingdir=" + std::string(2000, 'z'));
    EXPECT_EQ(Name(config) + "|" + config->traceFolder, std::string(31, 'y') + "|" + std::string(1008, 'z'));
}

TEST_F(ConfigLoader, ThreeFileExample) {
    const uint32_t example = ExampleFacility();
    const std::string base = Write("config.vextrel", "name=Main\nVXF_ALL=F@VXP_HIGH\nVXF_EXAMPLE=C@VXP_LOW\n");
    Write("config.vextrel1",
          "name=Extra\r\nappend=true\r\nlogfilelimit=5\r\nVXF_EXAMPLE=F@VXP_LOWEST\r\nbequiet=true\r\n");
    EXPECT_EQ(Load(PathOf("host.exe.vextrel"), manager), Paths{});
    EXPECT_EQ(Load(base, manager, true), (Paths{base, base + "1"}));
    ASSERT_EQ(manager->configs.size(), 1u);
    const TraceConfig* config = manager->configs[0];
    EXPECT_EQ(Name(config), "Main");
    EXPECT_EQ(config->configPath, base);
    EXPECT_EQ(config->queueSize, 4096u);
    EXPECT_TRUE(config->file.append);
    EXPECT_TRUE(config->quiet);
    EXPECT_EQ(config->file.logFileLimit, 5);
    EXPECT_EQ(config->console.State(), kTracerActive);
    EXPECT_EQ(config->client.State(), kTracerNotConfigured);
    // VXF_ALL takes every named facility; the second file lowers the example's file entry.
    RebuildGlobalPriorityMap(manager, false);
    const struct {
        uint32_t id;
        uint32_t summary;
        const char* entries;
    } expected[] = {
        {0, 1, "1 1 1"}, {1, 8, "17 8 17"}, {2, 8, "17 8 17"}, {example, 1, "2 1 17"}, {4501, 17, "17 17 17"}};
    for (const auto& facility : expected) {
        EXPECT_EQ(GlobalSummary()->Get(facility.id), facility.summary) << facility.id;
        EXPECT_EQ(Entries(config, facility.id), facility.entries) << facility.id;
    }
}

TEST_F(ConfigLoader, ContinuationSeriesAndOverlongPaths) {
    for (const char* name : {"a", "a1", "a3", "a6", "b1", "c2"})
        Write(name, "filetracingdir=" + std::string(name) + "\nVXF_ENGINE_CORE=F@VXP_LOW");
    EXPECT_EQ(Load(PathOf("a"), manager), (Paths{PathOf("a"), PathOf("a1"), PathOf("a3")}));  // 4, 5 missing: 6 unread
    EXPECT_EQ(Load(PathOf("b"), manager), Paths{});  // no base file, no continuation
    EXPECT_EQ(Load(Write("c", "# nothing enabled"), manager), (Paths{PathOf("c"), PathOf("c2")}));
    EXPECT_EQ(manager->configs.at(3)->configPath, PathOf("c2"));

    // Paths that do not fit the 260-byte buffer count as missing files: never cut, never overrun.
    EXPECT_EQ(Load(std::string(300, 'p'), manager), Paths{});
    const std::string name(kConfigFilePathCapacity - 2 - PathOf("").size(), 'q');
    for (const char* suffix : {"", "1", "x", "x1", "xy"}) Write(name + suffix, "VXF_ENGINE_CORE=F@VXP_LOW");
    if (!std::filesystem::exists(PathOf(name + "x1"))) GTEST_SKIP() << "the file system refuses paths this long";
    EXPECT_EQ(Load(PathOf(name), manager), (Paths{PathOf(name), PathOf(name + "1")}));  // 258 characters
    EXPECT_EQ(Load(PathOf(name + "x"), manager), Paths{PathOf(name + "x")});            // 259: no continuation fits
    EXPECT_EQ(Load(PathOf(name + "xy"), manager), Paths{});                             // 260: not even the base
}

// Only the tracers and the quiet flag count as a change: names, queue sizes and folders do not.
TEST_F(ConfigLoader, ReloadDiffersOnTracersAndQuietOnly) {
    const std::string base = Write("app.vextrel", "name=Before\nVXF_ENGINE_CORE=F@VXP_HIGH\nappend=true");
    Write("app.vextrel1", "filetracingdir=second\nVXF_ENGINE_CORE=C@VXP_LOW");
    Load(base, manager, true);
    EXPECT_FALSE(ReloadDiffers(
        base,
        "name=After\ntracequeuesize=large\nfiletracingdir=x\ncounterfile=c\nVXF_ENGINE_CORE=F@VXP_HIGH\nappend=true"));
    for (const char* changed : {"VXF_ENGINE_CORE=F@VXP_HIGH\nappend=true\nbequiet=true",
                                "VXF_ENGINE_CORE=F@VXP_HIGH\nappend=true\nlogfilelimit=2",
                                "VXF_ENGINE_CORE=F@VXP_HIGH\nappend=true\nfiletracingdir=second"}) {
        EXPECT_TRUE(ReloadDiffers(base, changed)) << changed;  // the last one merges both files: one fewer
    }
    std::unique_ptr<CVextrelManager> empty(CVextrelManager::Create());
    EXPECT_TRUE(ConfigsDiffer(empty.get(), manager));
    EXPECT_FALSE(ConfigsDiffer(empty.get(), empty.get()));
}

// Every token of a line and every VXF_ALL line count; a configuration owns only the table pages it
// sets; a series and the count of configurations stop at their limits and list what they ignored.
TEST_F(ConfigLoader, LongLinesApplyWholeAndLimitsListWhatTheyIgnore) {
    std::string tokens = "VXF_ENGINE_CORE=";
    for (int i = 0; i < 70; ++i) tokens += "F@VXP_URGENT,";
    EXPECT_EQ(Entries(Parse(tokens + "F@VXP_LOWEST\n"), 1), "17 1 17");
    std::string all;
    for (int i = 0; i < 1000; ++i) all += "VXF_ALL=F@VXP_URGENT\nVXF_ENGINE_CORE=C@VXP_LOW\n";
    TraceConfig* config = Parse(all + "VXF_ALL=C@VXP_LOWEST\nVXF_MIXER_CHANNEL=F@VXP_HIGH\n");
    EXPECT_EQ(Entries(config, 1), "1 16 17");
    EXPECT_EQ(Entries(config, 101), "1 8 17");
    EXPECT_EQ(config->client.Table().OwnPages(), 0u);

    const std::string base = Write("many", "VXF_ENGINE_CORE=F@VXP_LOW\n");
    for (uint32_t n = 1; n <= 5; ++n) Write("many" + std::to_string(n), "VXF_ENGINE_CORE=F@VXP_LOW\n");
    EXPECT_EQ(LoadConfigFiles(base.c_str(), ConfigContext{"dflt"}, 3).size(), 4u);
    EXPECT_EQ(LoadedConfigFiles().back(),
              base + "4 (ignored: it and later continuations: a series reads at most 4 files)");

    // A file past the size limit is ignored whole and its series goes on.
    const std::string sized = Write("sized", "VXF_ENGINE_CORE=F@VXP_LOW\n");
    Write("sized1", std::string(kMaxConfigFileBytes, '#') + "\nVXF_MIXER_CHANNEL=F@VXP_LOW\n");
    Write("sized2", "VXF_MIXER_CHANNEL=F@VXP_HIGH\n");
    EXPECT_EQ(LoadConfigFiles(sized.c_str(), ConfigContext{"dflt"}).size(), 2u);
    const std::vector<std::string>& read = LoadedConfigFiles();
    EXPECT_EQ(read[read.size() - 2], sized + "1 (ignored: larger than 16 MB)");

    // One configuration per trace folder up to the limit, in reading order: the file of a 17th folder
    // is listed as ignored, and a later file of a kept folder still merges. A file of another folder
    // is listed as ignored only when a tracer of it would be on.
    const std::string series = Write("dirs", "filetracingdir=d0\nVXF_ENGINE_CORE=F@VXP_LOW\n");
    for (uint32_t n = 1; n <= kMaxConfigurations + 1; ++n) {
        Write("dirs" + std::to_string(n), "filetracingdir=d" + std::to_string(n % (kMaxConfigurations + 1)) + "\n" +
                                              (n > kMaxConfigurations ? "VXF_MIXER_CHANNEL" : "VXF_ENGINE_CORE") +
                                              "=F@VXP_LOW\n");
    }
    Write("dirs18", "filetracingdir=d18\ndisablefiletracing=TRUE\nVXF_ENGINE_CORE=F@VXP_LOW\n");
    Write("dirs19", "filetracingdir=d19\ndisablefiletracing=false\nVXF_ENGINE_CORE=F@VXP_LOW\n");
    std::unique_ptr<CVextrelManager> fresh(CVextrelManager::Create());
    LoadConfigFilesInto(fresh.get(), series.c_str(), ConfigContext{"dflt"});
    ASSERT_EQ(fresh->configs.size(), kMaxConfigurations);
    const std::vector<std::string>& listed = LoadedConfigFiles();
    const std::string ignored = " (ignored: a 17th trace folder: the library keeps at most 16 configurations)";
    // The file of the 17th folder: its name, then why it was ignored.
    const std::string seventeenth = series + std::to_string(kMaxConfigurations);
    EXPECT_EQ(listed[listed.size() - 4].substr(0, seventeenth.size()), seventeenth);
    EXPECT_EQ(listed[listed.size() - 4].substr(seventeenth.size()), ignored);
    EXPECT_EQ(listed[listed.size() - 3], series + std::to_string(kMaxConfigurations + 1));
    EXPECT_EQ(listed[listed.size() - 2], series + "18");
    const std::string last = series + "19";
    EXPECT_EQ(listed.back().substr(0, last.size()), last);
    EXPECT_EQ(listed.back().substr(last.size()), ignored);
    EXPECT_EQ(fresh->configs[0]->file.Table().Get(101), 2u);
}

// A reload hands the running configuration to the new manager, while trace calls still go through
// the running one: its list keeps the configuration until the new manager is published, so that a
// priority change meanwhile rebuilds the summary with the configuration's facilities on.
TEST_F(ConfigLoader, AdoptedConfigStaysListedUntilPublished) {
    TraceConfig* running = Parse("VXF_ENGINE_CORE=F@VXP_LOW\n");
    std::unique_ptr<CVextrelManager> fresh(CVextrelManager::Create());
    const std::string text = "VXF_ENGINE_CORE=F@VXP_HIGH\n";  // the same (empty) config path
    AddConfig(fresh.get(),
              ParseConfigText(text.data(), static_cast<int32_t>(text.size()), ConfigContext{"dflt"}).release());
    AdoptRunningConfigs(fresh.get(), manager);
    const bool listed = manager->configs.size() == 1 && manager->configs[0] == running;
    RebuildGlobalPriorityMap(manager, true);
    const uint32_t summary = GlobalSummary()->Get(1);
    LeaveAdoptedConfigs(manager, fresh.get());
    EXPECT_TRUE(listed);
    EXPECT_EQ(summary, running->file.Table().Get(1));
    EXPECT_EQ(fresh->configs[0], running);
    EXPECT_EQ(manager->configs[0], nullptr);
}
