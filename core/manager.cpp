#include "core/manager.h"

#include <new>

#include "core/reclaim.h"

namespace vextrel {
namespace {

PriorityTable* Summary() { return detail::g_globalSummary.load(std::memory_order_acquire); }

void LowerEntry(PriorityTable& summary, uint32_t id, uint32_t priority) {
    if (id < kPriorityTableSize && priority < summary.Get(id)) summary.Set(id, priority);
}

}  // namespace

CVextrelManager* CVextrelManager::Create() {
    if (Summary() == nullptr) {
        PriorityTable* summary = new (std::nothrow) PriorityTable(kPriorityOff);
        if (summary == nullptr) return nullptr;
        PriorityTable* none = nullptr;
        if (!detail::g_globalSummary.compare_exchange_strong(none, summary)) delete summary;
    }
    return new (std::nothrow) CVextrelManager;
}

CVextrelManager::~CVextrelManager() {
    for (auto it = configs.rbegin(); it != configs.rend(); ++it) DestroyConfig(*it);
    configs.clear();
    delete published_.load(std::memory_order_relaxed);
}

void CVextrelManager::LowerGlobalTo(const TraceConfig& config) {
    PriorityTable* summary = Summary();
    if (summary == nullptr) return;
    summary->LowerTo(config.console.Table());
    summary->LowerTo(config.file.Table());
    summary->LowerTo(config.client.Table());
}

void CVextrelManager::PublishConfigs() {
    auto* list = new PublishedList;
    list->reserve(configs.size());
    for (TraceConfig* config : configs) {
        if (config == nullptr) continue;
        LowerGlobalTo(*config);
        list->push_back(config);
    }
    Retire(const_cast<PublishedList*>(published_.exchange(list, std::memory_order_seq_cst)));
}

void AddConfig(CVextrelManager* manager, TraceConfig* config) {
    manager->configs.push_back(config);
    if (config != nullptr) manager->LowerGlobalTo(*config);
    manager->tableDirty = true;
}

void RebuildGlobalPriorityMap(CVextrelManager* manager, bool force) {
    if (!manager->tableDirty && !force) return;
    PriorityTable* summary = Summary();
    if (summary == nullptr) return;
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
        summary->Set(id, lowest);
    }
    manager->tableDirty = false;
}

void LowerGlobalEntry(uint32_t id, uint32_t priority) {
    if (PriorityTable* summary = Summary()) LowerEntry(*summary, id, priority);
}

void ClearGlobalSummary() {
    if (PriorityTable* summary = Summary()) summary->Fill(kPriorityOff);
}

void ReleaseGlobalSummary() { delete detail::g_globalSummary.exchange(nullptr, std::memory_order_acq_rel); }

CVextrelManager* ExchangeManager(CVextrelManager* manager) {
    return detail::g_currentManager.exchange(manager, std::memory_order_seq_cst);
}

}  // namespace vextrel
