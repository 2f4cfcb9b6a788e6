#include "core/facility.h"

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "include/vextrel.h"

namespace vextrel {
namespace {

// The pair of maps between facility names and ids. Created with the first configuration and kept
// until the library is unloaded while the process runs, so the names it hands out stay valid for as
// long as a trace call can ask for them.
struct FacilityRegistry {
    std::map<uint32_t, std::string> idToName;
    std::map<std::string, uint32_t> nameToId;
};

std::atomic<FacilityRegistry*> g_registry{nullptr};
std::mutex g_registryLock;

int32_t RegisterInto(FacilityRegistry& registry, const char* name, uint32_t id) {
    if (name == nullptr) return 0;
    if (registry.idToName.count(id) != 0) return 0;
    std::string key(name);
    if (registry.nameToId.count(key) != 0) return 0;
    registry.idToName.emplace(id, key);
    registry.nameToId.emplace(std::move(key), id);
    return 1;
}

}  // namespace

const char* PriorityNameOf(uint32_t priority) {
    switch (priority) {
        case VXP_LOWEST: return "VXP_LOWEST";
        case VXP_LOW: return "VXP_LOW";
        case VXP_NORMAL: return "VXP_NORMAL";
        case VXP_HIGH: return "VXP_HIGH";
        case VXP_URGENT: return "VXP_URGENT";
        default: return nullptr;
    }
}

void RegisterBuiltinFacilities() {
    if (g_registry.load(std::memory_order_acquire) != nullptr) return;
    std::lock_guard<std::mutex> guard(g_registryLock);
    if (g_registry.load(std::memory_order_acquire) != nullptr) return;
    FacilityRegistry* registry = new FacilityRegistry;
    g_registry.store(registry, std::memory_order_release);
    uint32_t count = 0;
    const BuiltinFacility* rows = BuiltinFacilities(&count);
    for (uint32_t i = 0; i < count; ++i) RegisterInto(*registry, rows[i].name, rows[i].id);
}

void ReleaseFacilityRegistry() {
    std::lock_guard<std::mutex> guard(g_registryLock);
    delete g_registry.exchange(nullptr, std::memory_order_acq_rel);
}

// Lookups and registrations take the registry lock: a host may register a facility from any
// thread while a restart reads configuration files or writes a header.
int32_t RegisterFacility(const char* name, uint32_t id) {
    std::lock_guard<std::mutex> guard(g_registryLock);
    FacilityRegistry* registry = g_registry.load(std::memory_order_acquire);
    return registry == nullptr ? 0 : RegisterInto(*registry, name, id);
}

const char* FacilityNameOf(uint32_t id) {
    std::lock_guard<std::mutex> guard(g_registryLock);
    FacilityRegistry* registry = g_registry.load(std::memory_order_acquire);
    if (registry == nullptr) return nullptr;
    auto found = registry->idToName.find(id);
    return found == registry->idToName.end() ? nullptr : found->second.c_str();
}

void ForEachRegisteredFacility(void (*visit)(uint32_t id, void* context), void* context) {
    std::vector<uint32_t> ids;
    {
        // Visited outside the lock: a visitor may look names up.
        std::lock_guard<std::mutex> guard(g_registryLock);
        FacilityRegistry* registry = g_registry.load(std::memory_order_acquire);
        if (registry == nullptr) return;
        for (const auto& entry : registry->idToName) ids.push_back(entry.first);
    }
    for (uint32_t id : ids) visit(id, context);
}

uint32_t FacilityIdOf(const char* name) {
    std::lock_guard<std::mutex> guard(g_registryLock);
    FacilityRegistry* registry = g_registry.load(std::memory_order_acquire);
    if (registry == nullptr || name == nullptr) return 0;
    auto found = registry->nameToId.find(name);
    return found == registry->nameToId.end() ? 0 : found->second;
}

}  // namespace vextrel
