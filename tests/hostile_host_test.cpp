// What a host may do from any thread at any time: control calls serialised and refused where they
// would wait for themselves, renames and handler registrations that readers never see half done,
// and configuration files whose size cannot stall the load.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <utility>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "config/config_loader.h"
#include "lifecycle/control_lock.h"
#include "output/file_writer.h"
#include "support/config_fixture.h"

namespace vextrel::testing {
namespace {

void HandlerA(uint32_t, char*, uint32_t, const char*, va_list) {}
void HandlerB(uint32_t, char*, uint32_t, const char*, va_list) {}

// A client whose callback makes control calls of both kinds while another thread may hold the lock.
struct CallingClient final : TraceClient {
    void OnTraceLine(const char*, uint32_t) override {
        structureRan = UnderControlLock(ControlKind::Structure, false, [] { return true; });
        settingRan = UnderControlLock(ControlKind::Setting, false, [] { return true; });
    }
    bool structureRan = true;
    bool settingRan = false;
};

TEST(ControlLock, CallbacksNeverWaitForAControlCallAndNeverRestructure) {
    ClientTracer tracer;
    CallingClient client;
    tracer.AddClient(&client);
    char line[] = "x\n";
    tracer.Write(line, 2);
    EXPECT_FALSE(client.structureRan);
    EXPECT_TRUE(client.settingRan);  // the lock was free
    {
        std::lock_guard<std::mutex> held(ControlMutex());  // another thread's control call
        std::thread writer([&] { tracer.Write(line, 2); });
        writer.join();
        EXPECT_FALSE(client.settingRan);
    }
    EXPECT_FALSE(InsideClientCallback());
    EXPECT_TRUE(UnderControlLock(ControlKind::Structure, false, [] { return true; }));
}

TEST(HostileHost, RenamesNeverReachAReaderHalfDone) {
    TraceConfig* config = TraceConfig::Create();
    const std::string a(31, 'A'), b(31, 'B');
    config->name.Set(a.c_str());
    std::atomic<bool> stop{false};
    std::thread renamer([&] {
        for (uint32_t i = 0; !stop.load(); ++i) config->name.Set(i % 2 ? a.c_str() : b.c_str());
    });
    int mixed = 0;
    for (int i = 0; i < 200000; ++i) {
        char copy[kConfigNameCapacity];
        config->name.CopyTo(copy);
        const std::string name = copy;
        mixed += name != a && name != b && !name.empty();
    }
    stop.store(true);
    renamer.join();
    EXPECT_EQ(mixed, 0);
    delete config;
}

TEST(HostileHost, ReRegisteringAHandlerAllocatesNothingAndNewWordsStopAtTheLimit) {
    TraceConfig* config = TraceConfig::Create();
    config->RegisterHandler(7, HandlerA);
    const HandlerTable* table = config->Handlers();
    for (int i = 0; i < 1000000 && config->Handlers() == table; ++i) config->RegisterHandler(7, i % 2 ? HandlerA : HandlerB);
    EXPECT_EQ(config->Handlers(), table);
    EXPECT_EQ(config->Handlers()->Find(7)->Handler(), HandlerA);
    for (uint32_t word = 100; word < 100 + 2 * kMaxHandlers; ++word) config->RegisterHandler(word, HandlerB);
    EXPECT_EQ(config->Handlers()->count, kMaxHandlers);
    EXPECT_EQ(config->Handlers()->Find(7)->Handler(), HandlerA);
    delete config;
}

TEST_F(ConfigTest, PathologicalFilesStopAtTheirLimits) {
    std::string tokens = "VXF_ENGINE_CORE=";
    for (uint32_t i = 0; i < kMaxTokensPerLine; ++i) tokens += "F@VXP_URGENT,";
    TraceConfig* config = Parse(tokens + "C@VXP_LOWEST\n");
    EXPECT_EQ(Entries(config, 1), "17 16 17");

    std::string all;
    for (uint32_t i = 0; i < kMaxAllFacilityTokens; ++i) all += "VXF_ALL=F@VXP_URGENT\n";
    config = Parse(all + "VXF_ALL=C@VXP_LOWEST\n");
    EXPECT_EQ(Entries(config, 1), "17 16 17");

    const std::string base = Write("many", "VXF_ENGINE_CORE=F@VXP_LOW\n");
    for (uint32_t n = 1; n <= kMaxContinuationFiles + 5; ++n) Write("many" + std::to_string(n), "VXF_ENGINE_CORE=F@VXP_LOW\n");
    EXPECT_EQ(LoadConfigFiles(base.c_str(), ConfigContext{"dflt"}).size(), kMaxContinuationFiles + 1);
}

// A writer whose stream the test can exchange for a device that is always full.
struct SwappableWriter final : FileWriter {
    using FileWriter::FileWriter;
    std::FILE* Use(std::FILE* stream) { return std::exchange(stream_, stream); }
};

TEST_F(ConfigTest, AFullDiskDropsLinesUntilSpaceReturnsThenEndsTheCutLineAndReportsTheGap) {
    if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no always-full device here";
    const std::string path = PathOf("trace.txt");
    SwappableWriter writer(path.c_str(), false);
    ASSERT_TRUE(writer.Open());
    writer.Write("first\n", 6);
    std::FILE* full = std::fopen("/dev/full", "w");
    std::FILE* file = writer.Use(full);
    std::fputs("torn li", file);  // what reached the disk of the line being written
    writer.Write("torn line\n", 10);
    EXPECT_EQ(writer.Flush(), EOF);
    EXPECT_EQ(writer.Write("dropped\n", 8), 0u);
    writer.Use(file);  // space returns
    writer.Write("after\n", 6);
    writer.Flush();
    std::fclose(full);
    std::stringstream content;
    content << std::ifstream(path).rdbuf();
    std::string expected = "first\ntorn li\n";
    for (const char* line : kLostOutputLines) expected += line;
    EXPECT_EQ(content.str(), expected + "after\n");
}

}  // namespace
}  // namespace vextrel::testing
