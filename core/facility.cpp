#include "core/facility.h"

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/priority_table.h"
#include "include/vextrel.h"

namespace vextrel {
namespace {

// The pair of maps between facility names and ids. Created with the first configuration and kept
// until the library is unloaded while the process runs, so the names it hands out stay valid for as
// long as a trace call can ask for them.
// Hashes a name given as a string or a C string alike, so that a lookup makes no copy.
struct NameHash {
    using is_transparent = void;
    size_t operator()(std::string_view name) const { return std::hash<std::string_view>{}(name); }
};

struct FacilityRegistry {
    std::map<uint32_t, std::string> idToName;
    // Hashed: every facility line of every configuration file looks its name up.
    std::unordered_map<std::string, uint32_t, NameHash, std::equal_to<>> nameToId;
    // The ids below VXF_ALL with their table pages; made again on first use after a registration.
    std::shared_ptr<const LevelPages> allPages;
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
    registry.allPages.reset();
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

std::shared_ptr<const LevelPages> AllFacilityPages() {
    std::lock_guard<std::mutex> guard(g_registryLock);
    FacilityRegistry* registry = g_registry.load(std::memory_order_acquire);
    if (registry == nullptr) return std::make_shared<const LevelPages>(std::vector<uint32_t>());
    if (registry->allPages == nullptr) {
        std::vector<uint32_t> ids;
        ids.reserve(registry->idToName.size());
        for (const auto& entry : registry->idToName) {
            if (entry.first < kFacilityAll) ids.push_back(entry.first);
        }
        registry->allPages = std::make_shared<const LevelPages>(std::move(ids));
    }
    return registry->allPages;
}

uint32_t FacilityIdOf(const char* name) {
    std::lock_guard<std::mutex> guard(g_registryLock);
    FacilityRegistry* registry = g_registry.load(std::memory_order_acquire);
    if (registry == nullptr || name == nullptr) return 0;
    auto found = registry->nameToId.find(std::string_view(name));
    return found == registry->nameToId.end() ? 0 : found->second;
}

}  // namespace vextrel
