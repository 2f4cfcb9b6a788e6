// Every export that allocates, called while each allocation of the calling thread fails: the host
// sees the export's fallback, never an exception. A program of its own, because it replaces the
// global allocation functions.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdarg>
#include <cstdlib>
#include <new>

#include "config/config_parser.h"
#include "core/manager.h"
#include "include/vextrel.h"
#include "lifecycle/library_lifecycle.h"
#include "output/queue_writer.h"

namespace {

thread_local bool t_refuseAllocations = false;
std::atomic<int> g_refused{0};
std::atomic<std::size_t> g_refuseOnceOfSize{0};  // the next allocation of this size fails, once

struct RefusedAllocations {
    RefusedAllocations() { t_refuseAllocations = true; }
    ~RefusedAllocations() { t_refuseAllocations = false; }
};

struct QuietClient final : TraceClient {
    void OnTraceLine(const char*, uint32_t) override {}
};

// Kept out of line so that the compiler does not pair an inlined operator new with free().
[[gnu::noinline]] void FreeBlock(void* block) noexcept { std::free(block); }

void IgnoreMessage(uint32_t, char*, uint32_t, const char*, va_list) {}

}  // namespace

void* operator new(std::size_t size) {
    std::size_t once = size;
    if (t_refuseAllocations || g_refuseOnceOfSize.compare_exchange_strong(once, 0)) {
        g_refused.fetch_add(1);
        throw std::bad_alloc();
    }
    if (void* block = std::malloc(size == 0 ? 1 : size)) return block;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return ::operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    if (t_refuseAllocations) {
        g_refused.fetch_add(1);
        return nullptr;
    }
    return std::malloc(size == 0 ? 1 : size);
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept { return ::operator new(size, tag); }
void operator delete(void* block) noexcept { FreeBlock(block); }
void operator delete[](void* block) noexcept { FreeBlock(block); }
void operator delete(void* block, std::size_t) noexcept { FreeBlock(block); }
void operator delete[](void* block, std::size_t) noexcept { FreeBlock(block); }

TEST(Exports, NoExportLetsAnAllocationFailureOut) {
    // Each call must have met a refused allocation, else it proves nothing.
    auto refusedDuring = [](auto call) {
        const int before = g_refused.load();
        RefusedAllocations refuse;
        call();
        return g_refused.load() - before;
    };
    // Results are checked outside: a failing check allocates its message.
    const char* uuid = nullptr;
    EXPECT_GT(refusedDuring([&] { uuid = VextrelGetMachineUUID(); }), 0);  // its first call computes it
    EXPECT_STREQ(uuid, "");

    vextrel::OnProcessAttach();
    QuietClient client;
    const char text[] = "VXF_ENGINE_CORE=S@VXP_LOW";
    VextrelAddTraceClient(&client, text, sizeof text - 1);
    ASSERT_TRUE(VextrelIsActiveFunc());

    int32_t registered = -1;
    bool reloaded = true;
    EXPECT_GT(refusedDuring([&] { registered = VextrelRegisterFacility("VXF_NEVER_STORED", 20000); }), 0);
    EXPECT_GT(refusedDuring([] { VextrelRegisterHandlerFunc(VXF_WORD(18, VXP_LOW), IgnoreMessage); }), 0);
    EXPECT_GT(refusedDuring([&] { VextrelAddTraceClient(&client, text, sizeof text - 1); }), 0);
    EXPECT_GT(refusedDuring([&] { reloaded = VextrelReloadConfigsFunc(); }), 0);
    EXPECT_GT(refusedDuring([] { VextrelRestart(); }), 0);
    EXPECT_EQ(registered, 0);
    EXPECT_FALSE(reloaded);
    // The rest must not allocate at all on the trace path; they are called for completeness.
    refusedDuring([&] {
        VextrelFormat(VXF_WORD(18, VXP_HIGH), "value %d", 1);
        VextrelPuts(VXF_WORD(18, VXP_HIGH), "text");
        VextrelStack(VXF_WORD(18, VXP_HIGH));
        VextrelMem(VXF_WORD(18, VXP_HIGH), "block", text, sizeof text);
        VextrelSetNameFunc("name");
        VextrelRemoveTraceClient(&client);
        VextrelChangeFacilityPriorityFunc(18, VXP_LOW);
        VextrelDumpWriteStatsFunc();
        (void)VextrelGetTracePath();
    });
    EXPECT_NE(VextrelGetMachineUUID()[0], '\0');  // computed once allocations work again
    vextrel::OnProcessDetach();
}

// A configuration whose start throws (its writer cannot be made) stays without output; the
// configurations after it start all the same.
TEST(Exports, AFailingStartLeavesTheOtherConfigurationsStarting) {
    vextrel::CVextrelManager* manager = vextrel::CVextrelManager::Create();
    for (const std::string text :
         {"filetracingdir=a\nVXF_ENGINE_CORE=S@VXP_LOW", "filetracingdir=b\nVXF_ENGINE_CORE=S@VXP_LOW"}) {
        manager->configs.push_back(
            vextrel::ParseConfigText(text.data(), static_cast<int32_t>(text.size()), {"dflt"}).release());
    }
    g_refuseOnceOfSize = sizeof(vextrel::CWriteBehinderThread);
    vextrel::StartConfigs(manager);
    EXPECT_EQ(g_refuseOnceOfSize.load(), 0u);
    EXPECT_EQ(manager->configs[0]->Queue(), nullptr);
    EXPECT_NE(manager->configs[1]->Queue(), nullptr);
    EXPECT_TRUE(manager->configs[1]->started);
    delete manager;
}
