// The tracers, their configuration and the control calls a client callback may make.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/manager.h"
#include "core/reclaim.h"
#include "core/trace_config.h"
#include "core/tracer.h"
#include "lifecycle/control_lock.h"

using namespace vextrel;

namespace {

struct RecordingClient : TraceClient {
    std::vector<std::string>* log;
    std::string label;
    RecordingClient(std::vector<std::string>* sink, std::string name) : log(sink), label(std::move(name)) {}
    void OnTraceLine(const char* line, uint32_t length) override {
        log->push_back(label + ":" + std::string(line, length));
    }
};

// A client whose callback makes control calls of both kinds while another thread may hold the lock.
struct CallingClient final : TraceClient {
    void OnTraceLine(const char*, uint32_t) override {
        structureRan = UnderControlLock(ControlKind::Structure, false, [] { return true; });
        settingRan = UnderControlLock(ControlKind::Setting, false, [] { return true; });
    }
    bool structureRan = true;
    bool settingRan = false;
};

}  // namespace

// A tracer is active once configured, at or above its entry; a merge takes the other's state unless
// this one is disabled, and the lower entries.
TEST(Tracer, ActiveAtOrAboveTheEntryAndMergeTakesTheLowerEntries) {
    ConsoleTracer active, disabled, fresh;
    EXPECT_FALSE(active.IsActive(0, VXP_URGENT));  // not configured refuses even facility 0
    active.SetFacilityPriority(7, VXP_HIGH);
    EXPECT_TRUE(active.IsActive(0, VXP_LOWEST));
    EXPECT_TRUE(active.IsActive(7, VXP_URGENT));
    EXPECT_TRUE(active.IsActive(8, 17));
    EXPECT_FALSE(active.IsActive(7, VXP_NORMAL));
    EXPECT_FALSE(active.IsActive(8, VXP_URGENT));
    disabled.SetState(kTracerDisabled);
    disabled.SetFacilityPriority(7, VXP_LOW);
    disabled.SetFacilityPriority(9, VXP_NORMAL);
    EXPECT_FALSE(disabled.IsActive(7, VXP_URGENT));

    fresh.MergeBaseFrom(active);  // a not-configured tracer takes the other's state
    EXPECT_EQ(fresh.State(), kTracerActive);
    EXPECT_TRUE(fresh.SameBaseAs(active));
    fresh.MergeBaseFrom(disabled);  // a disabled one always wins
    EXPECT_EQ(fresh.State(), kTracerDisabled);
    EXPECT_EQ(fresh.Table().Get(7), VXP_LOW);
    EXPECT_FALSE(fresh.SameBaseAs(active));
    EXPECT_EQ(fresh.ConfiguredFacilities(), (std::vector<uint32_t>{7, 9}));
}

TEST(FileTracer, MergeTakesTheSmallerLimitAndEitherAppendFlag) {
    FileTracer a, b;
    b.logFileLimit = 10;
    b.append = true;
    a.MergeFrom(b);
    EXPECT_EQ(a.logFileLimit, 10);  // -1 loses as an unsigned number
    EXPECT_TRUE(a.append);
    b.counterValue = 5;
    EXPECT_FALSE(a != b);  // the counter value is not compared
    b.append = false;
    EXPECT_TRUE(a != b);
}

TEST(ClientTracer, ListIsSortedWithoutRepeatsAndDeliveredInOrder) {
    std::vector<std::string> log;
    RecordingClient clients[2] = {{&log, "low"}, {&log, "high"}};
    ClientTracer tracer;
    tracer.SetFacilityPriority(3, VXP_LOWEST);
    EXPECT_FALSE(tracer.IsActive(3, VXP_URGENT));  // active, but nobody listens
    for (TraceClient* client : {&clients[1], &clients[0], &clients[1]}) tracer.AddClient(client);
    EXPECT_EQ(tracer.Clients(), (std::vector<TraceClient*>{&clients[0], &clients[1]}));
    char line[] = "hello\n";
    tracer.Write(line, 6);
    EXPECT_EQ(log, (std::vector<std::string>{"low:hello\n", "high:hello\n"}));
    tracer.RemoveClient(&clients[0], 0);
    tracer.RemoveClient(&clients[0], 0);  // absent: nothing changes
    EXPECT_EQ(tracer.Clients(), (std::vector<TraceClient*>{&clients[1]}));
    tracer.RemoveClient(&clients[1], 0);
    EXPECT_FALSE(tracer.IsActive(3, VXP_URGENT));
}

TEST(ClientTracer, CallbacksChangeSettingsButNeverRestructure) {
    ClientTracer tracer;
    CallingClient client;
    tracer.AddClient(&client);
    char line[] = "x\n";
    {
        std::lock_guard<std::mutex> held(StructureMutex());  // another thread's restart
        std::thread writer([&] { tracer.Write(line, 2); });
        writer.join();
    }
    EXPECT_FALSE(client.structureRan);
    EXPECT_TRUE(client.settingRan);
    EXPECT_FALSE(InsideClientCallback());
    EXPECT_TRUE(UnderControlLock(ControlKind::Structure, false, [] { return true; }));
}

TEST(ClientTracer, AClientThatThrowsIsRemovedAndTheOthersGoOn) {
    std::vector<std::string> log;
    RecordingClient kept(&log, "kept");
    struct Throwing final : TraceClient {
        void OnTraceLine(const char*, uint32_t) override { throw 1; }
    } throwing;
    ClientTracer tracer;
    tracer.AddClient(&kept);
    tracer.AddClient(&throwing);
    char line[] = "x\n";
    tracer.Write(line, 2);
    tracer.Write(line, 2);
    EXPECT_EQ(tracer.TakeThrowingClients(), 1u);
    EXPECT_EQ(tracer.Clients(), std::vector<TraceClient*>{&kept});
    EXPECT_EQ(log.size(), 2u);
}

// An object retired while a reader is inside is freed only once that reader has left.
TEST(Reclamation, ARetiredObjectOutlivesEveryReaderThatMayHoldIt) {
    struct Marked {
        std::atomic<bool>* freed;
        ~Marked() { freed->store(true); }
    };
    std::atomic<bool> freed{false}, inside{false}, leave{false};
    std::thread reader([&] {
        const ReadGuard guard;
        inside = true;
        while (!leave) std::this_thread::yield();
    });
    while (!inside) std::this_thread::yield();
    Retire(new Marked{&freed});
    ReclaimRetired();
    EXPECT_FALSE(freed.load());
    leave = true;
    reader.join();
    EXPECT_EQ(ReclaimRetiredWaiting(5000), 0u);
    EXPECT_TRUE(freed.load());
}

TEST(TraceConfig, RenamesNeverReachAReaderHalfDone) {
    std::unique_ptr<TraceConfig> config(TraceConfig::Create());
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
}

// Replacing a word's handler allocates nothing (readers keep the same table); new words stop at the bound.
TEST(TraceConfig, HandlerTableStaysSortedAndBounded) {
    std::unique_ptr<TraceConfig> config(TraceConfig::Create());
    auto handlerA = +[](uint32_t, char*, uint32_t, const char*, va_list) {};
    auto handlerB = +[](uint32_t, char*, uint32_t, const char*, va_list) {};
    const uint32_t words[] = {50, 10, 40, 20, 30, 0xFF000001u, 5};
    for (uint32_t word : words) config->RegisterHandler(word, handlerA);
    const HandlerTable* table = config->Handlers();
    for (int i = 0; i < 1000; ++i) config->RegisterHandler(40, i % 2 ? handlerB : handlerA);
    ASSERT_EQ(config->Handlers(), table);
    ASSERT_EQ(table->count, 7u);
    for (uint32_t i = 1; i < table->count; ++i)
        EXPECT_LT(table->entries[i - 1].facilityWord, table->entries[i].facilityWord);
    EXPECT_EQ(table->Find(40)->Handler(), handlerB);
    EXPECT_EQ(table->Find(VXF_WORD(40, 8)), nullptr);  // the priority byte is part of the key
    for (uint32_t word = 1000; config->Handlers()->count < kMaxHandlers; ++word)
        config->RegisterHandler(word, handlerA);
    config->RegisterHandler(999, handlerA);  // a word beyond the bound is ignored, replacing still works
    config->RegisterHandler(10, handlerB);
    EXPECT_EQ(config->Handlers()->Find(999), nullptr);
    ASSERT_NE(config->Handlers()->Find(10), nullptr);
    EXPECT_EQ(config->Handlers()->Find(10)->Handler(), handlerB);
}

// The global table holds each facility's lowest level over every tracer, disabled ones included, and
// is rebuilt only when forced or when the manager marks it dirty.
TEST(TraceConfig, GlobalTableTakesTheMinimumOnARebuild) {
    std::unique_ptr<CVextrelManager> manager(CVextrelManager::Create());
    TraceConfig* added = TraceConfig::Create();
    added->file.SetFacilityPriority(7, VXP_HIGH);
    added->console.SetFacilityPriority(7, VXP_LOW);
    added->console.SetState(kTracerDisabled);  // disabled tracers still count
    AddConfig(manager.get(), added);
    RebuildGlobalPriorityMap(manager.get(), false);
    EXPECT_FALSE(manager->tableDirty);
    EXPECT_EQ(GlobalSummary()->Get(7), VXP_LOW);
    EXPECT_EQ(GlobalSummary()->Get(8), kPriorityOff);
    added->file.Table().Set(8, VXP_NORMAL);
    RebuildGlobalPriorityMap(manager.get(), false);  // not dirty: unchanged
    EXPECT_EQ(GlobalSummary()->Get(8), kPriorityOff);
    RebuildGlobalPriorityMap(manager.get(), true);
    EXPECT_EQ(GlobalSummary()->Get(8), VXP_NORMAL);
}
