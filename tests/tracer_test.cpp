#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/manager.h"
#include "core/trace_config.h"
#include "core/tracer.h"

using namespace vextrel;

namespace {

struct RecordingClient : TraceClient {
    std::vector<std::string>* log;
    std::string label;
    RecordingClient(std::vector<std::string>* sink, std::string name) : log(sink), label(std::move(name)) {}
    void OnTraceLine(const char* line, uint32_t length) override { log->push_back(label + ":" + std::string(line, length)); }
};

}  // namespace

TEST(Tracer, ActivityFollowsStateAndTable) {
    ConsoleTracer tracer;
    EXPECT_FALSE(tracer.IsActive(0, VXP_URGENT));  // not configured refuses even facility 0
    tracer.SetFacilityPriority(7, VXP_HIGH);
    EXPECT_EQ(tracer.State(), kTracerActive);
    EXPECT_TRUE(tracer.IsActive(0, VXP_LOWEST));
    EXPECT_TRUE(tracer.IsActive(7, VXP_HIGH));
    EXPECT_TRUE(tracer.IsActive(7, VXP_URGENT));
    EXPECT_FALSE(tracer.IsActive(7, VXP_NORMAL));
    EXPECT_FALSE(tracer.IsActive(8, VXP_URGENT));
    EXPECT_TRUE(tracer.IsActive(8, 17));
    EXPECT_EQ(tracer.ConfiguredFacilities(), (std::set<uint32_t>{7}));

    FileTracer disabled;
    disabled.SetState(kTracerDisabled);
    disabled.SetFacilityPriority(7, VXP_LOWEST);
    EXPECT_EQ(disabled.State(), kTracerDisabled);
    EXPECT_FALSE(disabled.IsActive(7, VXP_URGENT));
    char line[] = "no file\n";
    disabled.Write(line, 8);  // no FileWriter: nothing happens
    EXPECT_STREQ(disabled.GetPath(), "");
    EXPECT_EQ(disabled.Flush(), 0);
}

TEST(Tracer, MergeCopyAndCompare) {
    ConsoleTracer active, disabled, fresh;
    active.SetFacilityPriority(7, VXP_HIGH);
    disabled.SetState(kTracerDisabled);
    disabled.SetFacilityPriority(7, VXP_LOW);
    disabled.SetFacilityPriority(9, VXP_NORMAL);

    fresh.MergeBaseFrom(active);  // a not-configured tracer takes the other's state
    EXPECT_EQ(fresh.State(), kTracerActive);
    EXPECT_TRUE(fresh.SameBaseAs(active));
    fresh.MergeBaseFrom(disabled);  // a disabled one always wins
    EXPECT_EQ(fresh.State(), kTracerDisabled);
    EXPECT_EQ(fresh.Table().Get(7), VXP_LOW);
    EXPECT_EQ(fresh.ConfiguredFacilities(), (std::set<uint32_t>{7, 9}));
    EXPECT_FALSE(fresh.SameBaseAs(active));

    active.CopyBaseFrom(fresh);
    EXPECT_TRUE(active.SameBaseAs(fresh));

    FileTracer a, b;
    b.logFileLimit = 10;
    b.append = true;
    a.MergeFrom(b);
    EXPECT_EQ(a.logFileLimit, 10);  // -1 loses as an unsigned number
    EXPECT_TRUE(a.append);
    b.logFileLimit = 0;
    a.MergeFrom(b);
    EXPECT_EQ(a.logFileLimit, 0);
    EXPECT_FALSE(a != b);
    b.counterValue = 5;
    EXPECT_FALSE(a != b);  // the counter value is not compared
    b.append = false;
    EXPECT_TRUE(a != b);
}

TEST(Tracer, ConsoleWriteReplacesTheNewline) {
    ConsoleTracer console;
    char line[] = "abc\n";
    ::testing::internal::CaptureStdout();
    console.Write(line, 4);
    char empty[] = "x\n";
    console.Write(empty, 0);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "abc\n");
}

TEST(ClientTracer, ListIsSortedWithoutRepeatsAndDeliveredInOrder) {
    std::vector<std::string> log;
    RecordingClient clients[2] = {{&log, "low"}, {&log, "high"}};
    ClientTracer tracer;
    tracer.SetFacilityPriority(3, VXP_LOWEST);
    EXPECT_FALSE(tracer.IsActive(3, VXP_URGENT));  // active, but nobody listens
    tracer.AddClient(&clients[1]);
    tracer.AddClient(&clients[0]);
    tracer.AddClient(&clients[1]);
    EXPECT_TRUE(tracer.IsActive(3, VXP_LOWEST));
    EXPECT_EQ(tracer.Clients(), (std::vector<TraceClient*>{&clients[0], &clients[1]}));

    char line[] = "hello\n";
    tracer.Write(line, 6);
    EXPECT_EQ(log, (std::vector<std::string>{"low:hello\n", "high:hello\n"}));

    tracer.RemoveClient(&clients[0]);
    tracer.RemoveClient(&clients[0]);  // absent: nothing changes
    EXPECT_EQ(tracer.Clients(), (std::vector<TraceClient*>{&clients[1]}));
    tracer.RemoveClient(&clients[1]);
    EXPECT_EQ(tracer.State(), kTracerActive);
    EXPECT_FALSE(tracer.IsActive(3, VXP_URGENT));

    ClientTracer disabled;
    disabled.SetState(kTracerDisabled);
    disabled.AddClient(&clients[0]);  // stored, but the tracer stays off
    EXPECT_EQ(disabled.Clients().size(), 1u);
    EXPECT_FALSE(disabled.IsActive(0, VXP_URGENT));

    ClientTracer merged;
    merged.AddClient(&clients[1]);
    ClientTracer other;
    other.AddClient(&clients[0]);
    other.AddClient(&clients[1]);
    merged.MergeFrom(other);
    EXPECT_EQ(merged.Clients(), (std::vector<TraceClient*>{&clients[0], &clients[1]}));
    EXPECT_TRUE(merged.SameAs(other));
    ClientTracer empty;
    merged.AssignFrom(empty);
    EXPECT_TRUE(merged.Clients().empty());
}

TEST(TraceConfig, HandlerTableStaysSortedAndBounded) {
    std::unique_ptr<TraceConfig> config(TraceConfig::Create());
    auto handlerA = +[](uint32_t, char*, uint32_t, const char*, va_list) {};
    auto handlerB = +[](uint32_t, char*, uint32_t, const char*, va_list) {};
    const uint32_t words[] = {50, 10, 40, 20, 30, 0xFF000001u, 5};
    for (uint32_t word : words) config->RegisterHandler(word, handlerA);
    config->RegisterHandler(40, handlerB);
    const HandlerTable* table = config->Handlers();
    ASSERT_EQ(table->count, 7u);
    for (uint32_t i = 1; i < table->count; ++i) EXPECT_LT(table->entries[i - 1].facilityWord, table->entries[i].facilityWord);
    for (uint32_t word : words) ASSERT_NE(table->Find(word), nullptr) << word;
    EXPECT_EQ(table->Find(40)->Handler(), handlerB);
    EXPECT_EQ(table->Find(41), nullptr);
    EXPECT_EQ(table->Find(VXF_WORD(40, 8)), nullptr);  // the priority byte is part of the key

    for (uint32_t word = 1000; table->count < kMaxHandlers; ++word) {
        config->RegisterHandler(word, handlerA);
        table = config->Handlers();
    }
    config->RegisterHandler(999, handlerA);  // the 257th word is ignored
    EXPECT_EQ(config->Handlers()->Find(999), nullptr);
    config->RegisterHandler(10, handlerB);  // replacing still works
    EXPECT_EQ(config->Handlers()->Find(10)->Handler(), handlerB);
    EXPECT_EQ(config->Handlers()->count, kMaxHandlers);
}

TEST(GlobalTable, RebuildTakesTheMinimumAndHonoursTheDirtyFlag) {
    std::unique_ptr<CVextrelManager> manager(CVextrelManager::Create());
    RebuildGlobalPriorityMap(manager.get(), false);
    for (uint32_t id : {0u, 7u, 20479u, 20480u}) EXPECT_EQ(manager->globalTable.Get(id), kPriorityOff);

    TraceConfig* config = TraceConfig::Create();
    config->file.SetFacilityPriority(7, VXP_HIGH);
    config->console.SetFacilityPriority(7, VXP_LOW);
    config->console.SetState(kTracerDisabled);  // disabled tracers still count
    AddConfig(manager.get(), config);
    EXPECT_TRUE(manager->tableDirty);
    RebuildGlobalPriorityMap(manager.get(), false);
    EXPECT_FALSE(manager->tableDirty);
    EXPECT_EQ(manager->globalTable.Get(7), VXP_LOW);
    EXPECT_EQ(manager->globalTable.Get(0), 1u);
    EXPECT_EQ(manager->globalTable.Get(8), kPriorityOff);

    config->file.Table().Set(8, VXP_NORMAL);
    RebuildGlobalPriorityMap(manager.get(), false);  // not dirty: unchanged
    EXPECT_EQ(manager->globalTable.Get(8), kPriorityOff);
    RebuildGlobalPriorityMap(manager.get(), true);
    EXPECT_EQ(manager->globalTable.Get(8), VXP_NORMAL);
}
