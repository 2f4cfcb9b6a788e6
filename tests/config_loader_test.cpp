#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "config/config_consolidation.h"
#include "config/config_loader.h"
#include "config/config_parser.h"
#include "core/record_queue.h"
#include "support/config_fixture.h"

using namespace vextrel;
using vextrel::testing::ConfigTest;
using vextrel::testing::ExampleFacility;
using vextrel::testing::ForEachNamedId;
using vextrel::testing::TemporaryFolder;

namespace {

constexpr uint32_t kCore = 1;  // VXF_ENGINE_CORE

class ConfigLoader : public ConfigTest {
protected:
    // Loads `basePath` into `target` and returns the paths it added to LoadedConfigFiles.
    std::vector<std::string> Load(const std::string& basePath, CVextrelManager* target) {
        const size_t before = LoadedConfigFiles().size();
        LoadConfigFiles(basePath.c_str(), target);
        return {LoadedConfigFiles().begin() + static_cast<std::ptrdiff_t>(before), LoadedConfigFiles().end()};
    }
    std::vector<std::string> Load(const std::string& basePath) { return Load(basePath, manager); }

    // A file with its own trace folder, so that it stays a configuration of its own.
    std::string WriteSeparate(const std::string& name) {
        return folder.Write(name, "filetracingdir=" + name + "\nVXF_ENGINE_CORE=F@VXP_LOW\n");
    }

    TemporaryFolder folder;
};

// A manager read from `basePath` and consolidated, as restart and reload build it.
CVextrelManager* LoadManager(const std::string& basePath) {
    CVextrelManager* loaded = CVextrelManager::Create();
    LoadConfigFiles(basePath.c_str(), loaded);
    ConsolidateConfigs(loaded);
    return loaded;
}

struct CountingClient : TraceClient {
    void OnTraceLine(const char*, uint32_t) override {}
};

}  // namespace

TEST_F(ConfigLoader, ThreeFileExampleMergesIntoOneConfiguration) {
    const uint32_t example = ExampleFacility();
    const std::string base = folder.Write("config.vextrel", "name=Main\nVXF_ALL=F@VXP_HIGH\nVXF_EXAMPLE=C@VXP_LOW\n");
    folder.Write("config.vextrel1", "name=Extra\r\nappend=true\r\nlogfilelimit=5\r\nVXF_EXAMPLE=F@VXP_LOWEST\r\n"
                                    "bequiet=true\r\n");
    EXPECT_TRUE(Load(folder.PathOf("vextrel_host.exe.vextrel")).empty());
    EXPECT_TRUE(Load(folder.PathOf("vextrel_host.vextrel")).empty());
    EXPECT_EQ(Load(base), (std::vector<std::string>{base, base + "1"}));
    ASSERT_EQ(manager->configs.size(), 2u);
    EXPECT_STREQ(manager->configs[1]->configPath, (base + "1").c_str());

    ConsolidateConfigs(manager);
    ASSERT_EQ(manager->configs.size(), 1u);
    TraceConfig* config = manager->configs[0];
    ASSERT_EQ(manager->Snapshot().count, 1u);
    EXPECT_EQ(manager->Snapshot().items[0], config);
    char name[kConfigNameCapacity];
    config->name.Get(name);
    EXPECT_STREQ(name, "Main");
    EXPECT_STREQ(config->configPath, base.c_str());
    EXPECT_EQ(config->queueSize, 4096u);
    EXPECT_TRUE(config->file.append);
    EXPECT_EQ(config->file.logFileLimit, 5);
    EXPECT_TRUE(config->quiet.load());
    EXPECT_EQ(config->file.State(), kTracerActive);
    EXPECT_EQ(config->console.State(), kTracerActive);
    EXPECT_EQ(config->console.Table().Get(example), VXP_LOW);
    EXPECT_EQ(config->client.State(), kTracerNotConfigured);

    RebuildGlobalPriorityMap(manager, false);
    EXPECT_FALSE(manager->tableDirty);
    ForEachNamedId([&](uint32_t id) {
        EXPECT_EQ(config->file.Table().Get(id), id == example ? VXP_LOWEST : VXP_HIGH) << id;
        EXPECT_EQ(manager->globalTable.Get(id), id == example ? VXP_LOWEST : VXP_HIGH) << id;
    });
    EXPECT_EQ(manager->globalTable.Get(0), 1u);
    EXPECT_EQ(manager->globalTable.Get(example + 1), kPriorityOff);
    EXPECT_EQ(manager->globalTable.Get(kFacilityAll), kPriorityOff);
}

TEST_F(ConfigLoader, ContinuationsStopAtTwoMissingNumbers) {
    const std::string base = WriteSeparate("a.vextrel");
    WriteSeparate("a.vextrel1");
    WriteSeparate("a.vextrel3");
    WriteSeparate("a.vextrel6");  // 4 and 5 missing: never read
    EXPECT_EQ(Load(base), (std::vector<std::string>{base, base + "1", base + "3"}));
    EXPECT_EQ(manager->configs.size(), 3u);

    // Without the base file no continuation is looked for.
    WriteSeparate("b.vextrel1");
    EXPECT_TRUE(Load(folder.PathOf("b.vextrel")).empty());

    // A file that yields no configuration is still recorded and the series goes on.
    const std::string empty = folder.Write("c.vextrel", "# nothing enabled\n");
    WriteSeparate("c.vextrel2");
    EXPECT_EQ(Load(empty), (std::vector<std::string>{empty, empty + "2"}));
    EXPECT_EQ(manager->configs.size(), 4u);
    EXPECT_STREQ(manager->configs[3]->configPath, (empty + "2").c_str());

    EXPECT_EQ(ParseConfigFile(nullptr, manager), nullptr);
    LoadConfigFiles(nullptr, manager);
    LoadConfigFiles("", manager);
    EXPECT_TRUE(Load(base, nullptr).empty());
}

TEST_F(ConfigLoader, OverlongPathsAreSkippedNotCut) {
    EXPECT_TRUE(Load(std::string(300, 'p')).empty());
    // A base path of 258 characters: its continuation 1 fits the buffer, continuation 10 would not.
    std::string base = folder.PathOf("");
    base += std::string(kConfigFilePathCapacity - 2 - base.size(), 'q');
    std::error_code error;
    std::filesystem::create_directories(std::filesystem::path(base).parent_path(), error);
    {
        std::ofstream(base) << "VXF_ENGINE_CORE=F@VXP_LOW\n";
        std::ofstream(base + "1") << "VXF_ENGINE_CORE=F@VXP_LOW\n";
    }
    if (!std::filesystem::exists(base + "1")) GTEST_SKIP() << "the file system refuses a path this long";
    EXPECT_EQ(Load(base), (std::vector<std::string>{base, base + "1"}));
    std::filesystem::remove(base + "1");
    std::filesystem::rename(base, base + "x");  // a 259-character base path: no continuation fits
    {
        std::ofstream(base + "x1") << "VXF_ENGINE_CORE=F@VXP_LOW\n";
    }
    EXPECT_EQ(Load(base + "x"), std::vector<std::string>{base + "x"});
}

TEST_F(ConfigLoader, ConsolidationMergesOnlyByteEqualFolders) {
    const std::string first = folder.Write("first.vextrel", "name=First\ntracequeuesize=large\nlogfilelimit=10\n"
                                                            "VXF_ENGINE_CORE=F@VXP_HIGH,C@VXP_LOW\n");
    const std::string second = folder.Write("second.vextrel", "name=Second\nappend=true\nbequiet=true\n"
                                                              "VXF_ENGINE_CORE=F@VXP_NORMAL,C@VXP_URGENT\n"
                                                              "VXF_ENGINE_SCHEDULER=S@VXP_LOW\n");
    Load(first);
    Load(second);
    EXPECT_EQ(Load(first), std::vector<std::string>{first});  // the same file through a second path
    for (const char* traceFolder : {"Logs", "logs", "Logs/", "Logs\\"}) {
        ParseInto(std::string("filetracingdir=") + traceFolder + "\nVXF_ENGINE_CORE=F@VXP_LOW", manager);
    }
    ASSERT_EQ(manager->configs.size(), 7u);
    ConsolidateConfigs(manager);
    ASSERT_EQ(manager->configs.size(), 5u);
    EXPECT_EQ(manager->Snapshot().count, 5u);
    TraceConfig* merged = manager->configs[0];
    char name[kConfigNameCapacity];
    merged->name.Get(name);
    EXPECT_STREQ(name, "First");
    EXPECT_STREQ(merged->configPath, first.c_str());
    EXPECT_EQ(merged->queueSize, 32768u);
    EXPECT_EQ(merged->file.logFileLimit, 10);
    EXPECT_TRUE(merged->file.append);
    EXPECT_TRUE(merged->quiet.load());
    EXPECT_EQ(merged->file.Table().Get(kCore), VXP_NORMAL);
    EXPECT_EQ(merged->console.Table().Get(kCore), VXP_LOW);
    EXPECT_EQ(merged->client.State(), kTracerActive);
    EXPECT_EQ(merged->client.ConfiguredFacilities(), std::set<uint32_t>{2});
    for (size_t i = 1; i < manager->configs.size(); ++i) EXPECT_STRNE(manager->configs[i]->traceFolder, kDefaultFolder);
}

TEST_F(ConfigLoader, MergeKeepsDisabledTracersAndTheUnsignedSmallerLimit) {
    const auto parse = [&](const std::string& text) { ParseInto(text, manager); };
    parse("VXF_ENGINE_CORE=F@VXP_LOW\nlogfilelimit=-3\n");
    parse("VXF_ENGINE_CORE=F@VXP_LOWEST,C@VXP_LOW\ndisablefiletracing=true\nlogfilelimit=5\n");
    parse("VXF_ENGINE_CORE=C@VXP_LOW\nfiletracingdir=other\nlogfilelimit=0\n");
    parse("VXF_ENGINE_CORE=C@VXP_LOW\nfiletracingdir=other\nlogfilelimit=7\n");
    ConsolidateConfigs(manager);
    ASSERT_EQ(manager->configs.size(), 2u);
    EXPECT_EQ(manager->configs[0]->file.State(), kTracerDisabled);
    EXPECT_EQ(manager->configs[0]->file.Table().Get(kCore), VXP_LOWEST);
    EXPECT_EQ(manager->configs[0]->file.logFileLimit, 5);  // -3 is the larger as an unsigned number
    EXPECT_EQ(manager->configs[1]->file.logFileLimit, 0);  // 0 beats every other limit
}

TEST_F(ConfigLoader, ConsolidationOnARunningManagerMergesOnlyNewConfigurations) {
    ParseInto("VXF_ENGINE_CORE=F@VXP_HIGH", manager);
    ConsolidateConfigs(manager);
    TraceConfig* running = manager->configs[0];
    ParseInto("VXF_ENGINE_CORE=S@VXP_LOW", manager);  // as a client registration adds one
    EXPECT_EQ(manager->Snapshot().count, 1u);
    ConsolidateConfigs(manager);
    ASSERT_EQ(manager->configs, std::vector<TraceConfig*>{running});
    ASSERT_EQ(manager->Snapshot().count, 1u);
    EXPECT_EQ(manager->Snapshot().items[0], running);
    EXPECT_EQ(running->client.Table().Get(kCore), VXP_LOW);
}

TEST_F(ConfigLoader, ReloadComparesTracersButNotNamesOrFolders) {
    const std::string base = folder.Write("app.vextrel", "name=Before\nVXF_ENGINE_CORE=F@VXP_HIGH\n");
    folder.Write("app.vextrel1", "filetracingdir=second\nVXF_ENGINE_CORE=C@VXP_LOW\n");
    CVextrelManager* running = LoadManager(base);
    ASSERT_EQ(running->configs.size(), 2u);

    CVextrelManager* fresh = LoadManager(base);
    EXPECT_FALSE(ConfigsDiffer(fresh, running));
    delete fresh;

    folder.Write("app.vextrel", "name=After\ntracequeuesize=large\nfiletracingdir=elsewhere\n"
                                "VXF_ENGINE_CORE=F@VXP_HIGH\n");
    fresh = LoadManager(base);
    EXPECT_FALSE(ConfigsDiffer(fresh, running));
    delete fresh;

    // A client on a running configuration: the freshly read one has none and differs.
    CountingClient client;
    running->configs[1]->client.AddClient(&client);
    fresh = LoadManager(base);
    EXPECT_TRUE(ConfigsDiffer(fresh, running));
    EXPECT_FALSE(ConfigsDiffer(running, running));
    delete fresh;
    running->configs[1]->client.RemoveClient(&client);

    for (const char* changed : {"VXF_ENGINE_CORE=F@VXP_NORMAL\n", "VXF_ENGINE_CORE=F@VXP_HIGH\nbequiet=true\n",
                                "VXF_ENGINE_CORE=F@VXP_HIGH\nappend=true\n", "VXF_ENGINE_CORE=F@VXP_HIGH\n"
                                                                             "logfilelimit=2\n"}) {
        folder.Write("app.vextrel", changed);
        fresh = LoadManager(base);
        EXPECT_TRUE(ConfigsDiffer(fresh, running)) << changed;
        delete fresh;
    }
    folder.Write("app.vextrel", "VXF_ENGINE_CORE=F@VXP_HIGH\n");
    std::filesystem::remove(folder.PathOf("app.vextrel1"));
    fresh = LoadManager(base);
    EXPECT_TRUE(ConfigsDiffer(fresh, running));  // one configuration fewer
    delete fresh;

    CVextrelManager* empty = CVextrelManager::Create();
    EXPECT_FALSE(ConfigsDiffer(empty, manager));
    EXPECT_TRUE(ConfigsDiffer(empty, running));
    delete empty;
    delete running;
}

TEST_F(ConfigLoader, AdoptionMovesRunningConfigurationsIntoTheNewList) {
    const std::string base = folder.Write("app.vextrel", "VXF_ENGINE_CORE=F@VXP_HIGH\nappend=true\ncounterfile=x\n");
    folder.Write("app.vextrel1", "filetracingdir=second\nVXF_ENGINE_CORE=C@VXP_LOW\n");
    CVextrelManager* running = LoadManager(base);
    ParseInto("filetracingdir=client\nVXF_ENGINE_CORE=S@VXP_LOW", running);  // from a host's text
    ConsolidateConfigs(running);
    ASSERT_EQ(running->configs.size(), 3u);
    TraceConfig* kept = running->configs[0];
    kept->started = true;
    kept->file.counterValue = 9;
    auto* queue = new RecordQueue;
    ASSERT_TRUE(queue->AllocateRecords(4096, kept));
    kept->SetQueue(queue);
    CountingClient client;
    kept->client.AddClient(&client);

    folder.Write("app.vextrel", "VXF_ENGINE_CORE=F@VXP_LOW\nbequiet=true\n");
    std::filesystem::remove(folder.PathOf("app.vextrel1"));
    folder.Write("app.vextrel2", "filetracingdir=third\nVXF_ENGINE_CORE=C@VXP_LOW\n");
    CVextrelManager* fresh = LoadManager(base);
    ASSERT_EQ(fresh->configs.size(), 2u);
    TraceConfig* unmatched = fresh->configs[1];
    RebuildGlobalPriorityMap(fresh, false);
    ASSERT_TRUE(ConfigsDiffer(fresh, running));

    AdoptRunningConfigs(fresh, running);
    EXPECT_EQ(fresh->configs, (std::vector<TraceConfig*>{kept, unmatched}));
    ASSERT_EQ(fresh->Snapshot().count, 2u);
    EXPECT_EQ(fresh->Snapshot().items[0], kept);
    EXPECT_TRUE(fresh->tableDirty);
    EXPECT_EQ(running->configs[0], nullptr);
    EXPECT_NE(running->configs[1], nullptr);  // the second file is gone: dropped with the old manager
    EXPECT_NE(running->configs[2], nullptr);  // made from a host's text: no file matches it

    EXPECT_EQ(kept->Queue(), queue);
    EXPECT_FALSE(kept->started);
    EXPECT_TRUE(kept->refresh);
    EXPECT_TRUE(kept->quiet.load());
    EXPECT_EQ(kept->file.Table().Get(kCore), VXP_LOW);
    EXPECT_FALSE(kept->file.append);
    EXPECT_EQ(kept->file.counterValue, 9u);
    EXPECT_TRUE(kept->client.Clients().empty());
    EXPECT_EQ(kept->client.State(), kTracerNotConfigured);
    delete running;
    delete fresh;
}
