#include "core/manager.h"

#include <new>

namespace vextrel {

CVextrelManager* CVextrelManager::Create() { return new (std::nothrow) CVextrelManager; }

CVextrelManager::~CVextrelManager() {
    for (auto it = configs.rbegin(); it != configs.rend(); ++it) delete *it;
    configs.clear();
}

void CVextrelManager::LowerGlobalTo(const TraceConfig& config) {
    globalTable.LowerTo(config.console.Table());
    globalTable.LowerTo(config.file.Table());
    globalTable.LowerTo(config.client.Table());
}

void CVextrelManager::LowerGlobalEntry(uint32_t id, uint32_t priority) {
    if (id < kPriorityTableSize && priority < globalTable.Get(id)) globalTable.Set(id, priority);
}

void CVextrelManager::PublishConfigs() {
    auto list = std::make_unique<std::vector<TraceConfig*>>();
    for (TraceConfig* config : configs) {
        if (config == nullptr) continue;
        LowerGlobalTo(*config);
        list->push_back(config);
    }
    published_.store(list.get(), std::memory_order_release);
    publishedLists_.push_back(std::move(list));
}

void AddConfig(CVextrelManager* manager, TraceConfig* config) {
    manager->configs.push_back(config);
    if (config != nullptr) manager->LowerGlobalTo(*config);
    manager->tableDirty = true;
}

void RebuildGlobalPriorityMap(CVextrelManager* manager, bool force) {
    if (!manager->tableDirty && !force) return;
    // Each entry is computed in full and stored once, so a concurrent reader never sees an entry
    // pass through "off" on its way to its new value.
    for (uint32_t id = 0; id < kPriorityTableSize; ++id) {
        uint32_t lowest = kPriorityOff;
        for (TraceConfig* config : manager->configs) {
            if (config == nullptr) continue;
            const uint32_t entries[] = {config->console.Table().Get(id), config->file.Table().Get(id),
                                        config->client.Table().Get(id)};
            for (uint32_t entry : entries) lowest = entry < lowest ? entry : lowest;
        }
        manager->globalTable.Set(id, lowest);
    }
    manager->tableDirty = false;
}

CVextrelManager* ExchangeManager(CVextrelManager* manager) {
    return detail::g_currentManager.exchange(manager, std::memory_order_acq_rel);
}

}  // namespace vextrel
