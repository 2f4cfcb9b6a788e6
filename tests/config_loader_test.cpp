#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "config/config_consolidation.h"
#include "config/config_loader.h"
#include "core/record_queue.h"
#include "support/config_fixture.h"

using namespace vextrel;
using vextrel::testing::ExampleFacility;
using Paths = std::vector<std::string>;

namespace {

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
        CVextrelManager* fresh = CVextrelManager::Create();
        Load(base, fresh, true);
        const bool differs = ConfigsDiffer(fresh, manager);
        delete fresh;
        return differs;
    }
};

struct SilentClient : TraceClient {
    void OnTraceLine(const char*, uint32_t) override {}
};

}  // namespace

TEST_F(ConfigLoader, ThreeFileExample) {
    const uint32_t example = ExampleFacility();
    const std::string base = Write("config.vextrel", "name=Main\nVXF_ALL=F@VXP_HIGH\nVXF_EXAMPLE=C@VXP_LOW\n");
    Write("config.vextrel1", "name=Extra\r\nappend=true\r\nlogfilelimit=5\r\nVXF_EXAMPLE=F@VXP_LOWEST\r\nbequiet=true\r\n");
    EXPECT_EQ(Load(PathOf("host.exe.vextrel"), manager), Paths{});
    EXPECT_EQ(Load(base, manager, true), (Paths{base, base + "1"}));
    ASSERT_EQ(manager->configs.size(), 1u);
    const TraceConfig* config = manager->configs[0];
    EXPECT_EQ(Name(config) + "|" + config->configPath, "Main|" + base);
    EXPECT_TRUE(config->queueSize == 4096 && config->file.append && config->quiet && config->file.logFileLimit == 5);
    EXPECT_TRUE(config->console.State() == kTracerActive && config->client.State() == kTracerNotConfigured);
    // VXF_ALL takes every named facility; the second file lowers the example's file entry.
    RebuildGlobalPriorityMap(manager, false);
    for (uint32_t id : {0u, 1u, 2u, example, 4501u}) {
        EXPECT_EQ(std::to_string(manager->globalTable.Get(id)) + " " + Entries(config, id),
                  id == 0 ? "1 1 1 1" : id == example ? "1 2 1 17" : id == 4501 ? "17 17 17 17" : "8 17 8 17") << id;
    }
}

TEST_F(ConfigLoader, ContinuationSeriesAndOverlongPaths) {
    for (const char* name : {"a", "a1", "a3", "a6", "b1", "c2"}) Write(name, "filetracingdir=" + std::string(name) + "\nVXF_ENGINE_CORE=F@VXP_LOW");
    EXPECT_EQ(Load(PathOf("a"), manager), (Paths{PathOf("a"), PathOf("a1"), PathOf("a3")}));  // 4, 5 missing: 6 unread
    EXPECT_EQ(Load(PathOf("b"), manager), Paths{});  // no base file, no continuation
    EXPECT_EQ(Load(Write("c", "# nothing enabled"), manager), (Paths{PathOf("c"), PathOf("c2")}));
    EXPECT_EQ(manager->configs.at(3)->configPath, PathOf("c2"));
    EXPECT_EQ(ParseConfigFile(nullptr, ConfigContext{}), nullptr);

    // Paths that do not fit the 260-byte buffer count as missing files: never cut, never overrun.
    EXPECT_EQ(Load(std::string(300, 'p'), manager), Paths{});
    const std::string name(kConfigFilePathCapacity - 2 - PathOf("").size(), 'q');
    for (const char* suffix : {"", "1", "x", "x1", "xy"}) Write(name + suffix, "VXF_ENGINE_CORE=F@VXP_LOW");
    if (!std::filesystem::exists(PathOf(name + "x1"))) GTEST_SKIP() << "the file system refuses paths this long";
    EXPECT_EQ(Load(PathOf(name), manager), (Paths{PathOf(name), PathOf(name + "1")}));  // 258 characters
    EXPECT_EQ(Load(PathOf(name + "x"), manager), Paths{PathOf(name + "x")});  // 259: no continuation fits
    EXPECT_EQ(Load(PathOf(name + "xy"), manager), Paths{});                   // 260: not even the base
}

TEST_F(ConfigLoader, ConsolidationMergesByteEqualFoldersOnly) {
    const std::string first = Write("1", "name=First\ntracequeuesize=large\nlogfilelimit=10\nVXF_ENGINE_CORE=F@VXP_HIGH,C@VXP_LOW");
    Write("2", "append=true\nbequiet=true\nVXF_ENGINE_CORE=F@VXP_NORMAL,C@VXP_URGENT,S@VXP_LOW");
    Load(first, manager);
    Load(PathOf("2"), manager);
    EXPECT_EQ(Load(first, manager), Paths{first});  // the same file through a second configuration path
    for (const char* dir : {"Logs", "logs", "Logs/", "Logs\\", "Logs"}) Parse("filetracingdir=" + std::string(dir) + "\nVXF_ENGINE_CORE=F@VXP_LOW\nlogfilelimit=-3");
    Parse("filetracingdir=Logs\nVXF_ENGINE_CORE=F@VXP_LOWEST,C@VXP_LOW\ndisablefiletracing=true\nlogfilelimit=5");
    Parse("filetracingdir=logs\nVXF_ENGINE_CORE=C@VXP_LOW\nlogfilelimit=0");
    ConsolidateConfigs(manager);
    ASSERT_EQ(manager->configs.size(), 5u);
    const TraceConfig* merged = manager->configs[0];
    EXPECT_EQ(Name(merged) + "|" + merged->configPath + "|" + Entries(merged, 1), "First|" + first + "|2 4 2");
    EXPECT_TRUE(merged->queueSize == 32768 && merged->file.append && merged->quiet && merged->file.logFileLimit == 10);
    // A disabled tracer stays disabled; -3 is the larger limit, read unsigned.
    EXPECT_TRUE(manager->configs[1]->file.State() == kTracerDisabled && manager->configs[1]->file.logFileLimit == 5);
    EXPECT_EQ(manager->configs[2]->file.logFileLimit, 0);
    EXPECT_EQ(manager->Snapshot().items[4], manager->configs[4]);

    // On a running manager the configuration a client registration adds merges into a published one.
    Parse("VXF_ENGINE_SCHEDULER=S@VXP_LOW");
    ConsolidateConfigs(manager);
    EXPECT_EQ(manager->Snapshot().count, 5u);
    EXPECT_EQ(Entries(manager->Snapshot().items[0], 2), "17 17 2");
}

// Only the tracers and the quiet flag count as a change: names, queue sizes and folders do not.
TEST_F(ConfigLoader, ReloadDiffersOnTracersAndQuietOnlyAndAdoptionKeepsRunningConfigurations) {
    const std::string base = Write("app.vextrel", "name=Before\nVXF_ENGINE_CORE=F@VXP_HIGH\nappend=true");
    Write("app.vextrel1", "filetracingdir=second\nVXF_ENGINE_CORE=C@VXP_LOW");
    Load(base, manager, true);
    EXPECT_FALSE(ReloadDiffers(base, "name=After\ntracequeuesize=large\nfiletracingdir=x\ncounterfile=c\nVXF_ENGINE_CORE=F@VXP_HIGH\nappend=true"));
    for (const char* changed : {"VXF_ENGINE_CORE=F@VXP_HIGH\nappend=true\nbequiet=true", "VXF_ENGINE_CORE=F@VXP_HIGH\nappend=true\nlogfilelimit=2",
                                "VXF_ENGINE_CORE=F@VXP_HIGH\nappend=true\nfiletracingdir=second"}) {
        EXPECT_TRUE(ReloadDiffers(base, changed)) << changed;  // the last one merges both files: one fewer
    }
    std::unique_ptr<CVextrelManager> empty(CVextrelManager::Create());
    EXPECT_TRUE(ConfigsDiffer(empty.get(), manager) && !ConfigsDiffer(empty.get(), empty.get()));

    // Adoption: a running configuration read from the same path moves into the new list with its
    // queue and counter and takes the new settings; the one from a host's text stays behind.
    Parse("filetracingdir=client\nVXF_ENGINE_CORE=S@VXP_LOW");
    TraceConfig* kept = manager->configs[0];
    kept->started = true;
    kept->file.counterValue = 9;
    auto* queue = new RecordQueue;
    ASSERT_TRUE(queue->AllocateRecords(4096));
    kept->SetQueue(queue);
    SilentClient client;
    kept->client.AddClient(&client);
    EXPECT_TRUE(ReloadDiffers(base, "name=Before\nVXF_ENGINE_CORE=F@VXP_HIGH\nappend=true"));  // the client counts
    Write("app.vextrel", "VXF_ENGINE_CORE=F@VXP_LOW\nbequiet=true");
    std::filesystem::rename(PathOf("app.vextrel1"), PathOf("app.vextrel2"));  // now another path
    CVextrelManager* fresh = CVextrelManager::Create();
    Load(base, fresh, true);
    TraceConfig* unmatched = fresh->configs[1];
    AdoptRunningConfigs(fresh, manager);
    EXPECT_EQ(fresh->configs, (std::vector<TraceConfig*>{kept, unmatched}));
    EXPECT_EQ(fresh->Snapshot().items[0], kept);
    EXPECT_TRUE(manager->configs[0] == nullptr && manager->configs[1] && manager->configs[2]);
    EXPECT_TRUE(kept->Queue() == queue && !kept->started && kept->refresh && kept->quiet && !kept->file.append);
    EXPECT_EQ(std::to_string(kept->file.counterValue) + " " + Entries(kept, 1), "9 17 2 17");
    EXPECT_TRUE(kept->client.Clients().empty());
    delete fresh;
}
