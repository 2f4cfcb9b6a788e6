#include "core/tracer.h"

#include <cxxabi.h>

#include <algorithm>
#include <cstdio>
#include <iterator>

#include "core/reclaim.h"
#include "platform/clock.h"
#include "platform/thread.h"

namespace vextrel {
namespace {

// Marks the thread as inside a client callback for as long as it lives: the thread counter holds
// how deep this thread is in trace clients' callbacks (a client may trace, never re-enter Write).
struct ClientCallbackMark {
    ClientCallbackMark() { platform::WriteThreadCounter(platform::ReadThreadCounter() + 1); }
    ~ClientCallbackMark() { platform::WriteThreadCounter(platform::ReadThreadCounter() - 1); }
    ClientCallbackMark(const ClientCallbackMark&) = delete;
    ClientCallbackMark& operator=(const ClientCallbackMark&) = delete;
};

}  // namespace

bool InsideClientCallback() { return platform::ReadThreadCounter() != 0; }

void BaseTracer::SetFacilityPriority(uint32_t id, uint32_t priority) {
    table_.Set(id, priority);
    if (State() != kTracerDisabled) SetState(kTracerActive);
    // Ids come mostly in ascending order (VXF_ALL walks them so): then this appends.
    if (configured_.empty() || configured_.back() < id) {
        configured_.push_back(id);
        return;
    }
    const auto at = std::lower_bound(configured_.begin(), configured_.end(), id);
    if (*at != id) configured_.insert(at, id);
}

void BaseTracer::SetFacilityPriorities(const LevelPages& ids, uint32_t priority) {
    if (ids.Ids().empty()) return;
    table_.SetEach(ids, priority);
    if (State() != kTracerDisabled) SetState(kTracerActive);
    AddConfigured(ids.Ids().data(), ids.Ids().data() + ids.Ids().size());
}

void BaseTracer::AddConfigured(const uint32_t* first, const uint32_t* last) {
    // The few ids of a file's facility lines against the long set a VXF_ALL line made: each is
    // looked up rather than the whole set walked, once per file of a long series.
    const size_t count = static_cast<size_t>(last - first);
    const bool present =
        count * 16 < configured_.size()
            ? std::all_of(first, last,
                          [&](uint32_t id) { return std::binary_search(configured_.begin(), configured_.end(), id); })
            : std::includes(configured_.begin(), configured_.end(), first, last);
    if (present) return;
    std::vector<uint32_t> both;
    both.reserve(configured_.size() + static_cast<size_t>(last - first));
    std::set_union(configured_.begin(), configured_.end(), first, last, std::back_inserter(both));
    configured_.swap(both);
}

void BaseTracer::LowerToText(const LevelPages& ids, uint32_t all,
                             const std::vector<std::pair<uint32_t, uint32_t>>& overrides) {
    // Entries of overridden ids as they were, so that `all` does not reach them.
    std::vector<uint32_t> before;
    before.reserve(overrides.size());
    for (const auto& entry : overrides) before.push_back(table_.Get(entry.first));
    if (all != 0 && !ids.Ids().empty()) {
        table_.LowerEach(ids, all);
        if (allConfigured_ != ids.Serial()) {
            AddConfigured(ids.Ids().data(), ids.Ids().data() + ids.Ids().size());
            allConfigured_ = ids.Serial();
        }
    }
    std::vector<uint32_t> overridden;
    overridden.reserve(overrides.size());
    for (size_t i = 0; i < overrides.size(); ++i) {
        const uint32_t id = overrides[i].first;
        const uint32_t lowered = std::min(before[i], overrides[i].second);
        if (table_.Get(id) != lowered) table_.Set(id, lowered);
        overridden.push_back(id);
    }
    AddConfigured(overridden.data(), overridden.data() + overridden.size());
}

void BaseTracer::MergeBaseFrom(const BaseTracer& other) {
    if (&other == this) return;
    if (State() == kTracerNotConfigured || other.State() == kTracerDisabled) SetState(other.State());
    table_.LowerTo(other.table_);
    AddConfigured(other.configured_.data(), other.configured_.data() + other.configured_.size());
}

void BaseTracer::CopyBaseFrom(const BaseTracer& other) {
    if (&other == this) return;
    SetState(other.State());
    table_.CopyFrom(other.table_);
    configured_ = other.configured_;
    allConfigured_ = 0;
}

bool BaseTracer::SameBaseAs(const BaseTracer& other) const {
    if (&other == this) return true;
    return State() == other.State() && configured_ == other.configured_ && table_.SameAs(other.table_);
}

void ConsoleTracer::Write(char* line, int32_t length) {
    if (line == nullptr || length < 1) return;
    line[length - 1] = '\0';
    std::puts(line);
}

ClientTracer::~ClientTracer() { delete list_.load(std::memory_order_relaxed); }

void ClientTracer::Write(char* line, int32_t length) {
    // The clients are copied out under a ReadGuard and called outside it, so that a slow client
    // never holds back what others retire.
    constexpr size_t kInline = 16;
    TraceClient* inlineCopy[kInline];
    std::vector<TraceClient*> longCopy;
    TraceClient** clients = inlineCopy;
    size_t count = 0;
    {
        const ReadGuard guard;
        const ClientList* list = list_.load(std::memory_order_seq_cst);
        if (list == nullptr) return;
        count = list->clients.size();
        if (count > kInline) {
            longCopy = list->clients;
            clients = longCopy.data();
        } else {
            std::copy(list->clients.begin(), list->clients.end(), inlineCopy);
        }
    }
    const ClientCallbackMark mark;
    for (size_t i = 0; i < count; ++i) {
        TraceClient* client = clients[i];
        bool listed = false;
        {
            // Announcing the call before looking at the list again pairs with RemoveClient's
            // publish before it looks at calling_: either this sees the client gone, or the remover
            // sees the call and waits for it.
            const ReadGuard guard;
            calling_.store(client, std::memory_order_seq_cst);
            const ClientList* now = list_.load(std::memory_order_seq_cst);
            listed = now != nullptr && std::binary_search(now->clients.begin(), now->clients.end(), client);
        }
        if (!listed) continue;
        try {
            client->OnTraceLine(line, static_cast<uint32_t>(length));
        } catch (const abi::__forced_unwind&) {
            throw;  // the client ends this thread (pthread_exit): the stopping thread takes over
        } catch (...) {
            RemoveClient(client, 0);
            throwing_.fetch_add(1, std::memory_order_acq_rel);
        }
    }
    calling_.store(nullptr, std::memory_order_seq_cst);
}

void ClientTracer::PublishLocked(std::vector<TraceClient*> clients) {
    std::sort(clients.begin(), clients.end());
    clients.erase(std::unique(clients.begin(), clients.end()), clients.end());
    const uint32_t count = static_cast<uint32_t>(clients.size());
    auto* next = new ClientList{std::move(clients)};
    Retire(const_cast<ClientList*>(list_.exchange(next, std::memory_order_seq_cst)));
    clientCount_.store(count, std::memory_order_relaxed);
}

std::vector<TraceClient*> ClientTracer::Clients() const {
    std::lock_guard<std::mutex> guard(lock_);
    const ClientList* list = list_.load(std::memory_order_acquire);
    return list == nullptr ? std::vector<TraceClient*>{} : list->clients;
}

bool ClientTracer::HasClient(TraceClient* client) const {
    const std::vector<TraceClient*> clients = Clients();
    return std::binary_search(clients.begin(), clients.end(), client);
}

void ClientTracer::AddClient(TraceClient* client) {
    std::vector<TraceClient*> clients = Clients();
    std::lock_guard<std::mutex> guard(lock_);
    if (State() != kTracerDisabled) SetState(kTracerActive);
    clients.push_back(client);
    PublishLocked(std::move(clients));
}

void ClientTracer::RemoveClient(TraceClient* client, uint64_t deadlineTicks) {
    std::vector<TraceClient*> clients = Clients();
    auto found = std::find(clients.begin(), clients.end(), client);
    if (found == clients.end()) return;
    clients.erase(found);
    {
        std::lock_guard<std::mutex> guard(lock_);
        PublishLocked(std::move(clients));
    }
    while (calling_.load(std::memory_order_seq_cst) == client && platform::ReadCounter() < deadlineTicks) {
        platform::SleepMilliseconds(1);
    }
}

void ClientTracer::RemoveAllClients() {
    std::lock_guard<std::mutex> guard(lock_);
    PublishLocked({});
}

void ClientTracer::MergeFrom(ClientTracer& other) {
    if (&other == this) return;
    MergeBaseFrom(other);
    const std::vector<TraceClient*> theirs = other.Clients();
    if (theirs.empty()) return;  // nothing to publish (a configuration file has no clients)
    std::vector<TraceClient*> clients = Clients();
    clients.insert(clients.end(), theirs.begin(), theirs.end());
    std::lock_guard<std::mutex> guard(lock_);
    PublishLocked(std::move(clients));
}

void ClientTracer::AssignFrom(ClientTracer& other) {
    if (&other == this) return;
    CopyBaseFrom(other);
    std::vector<TraceClient*> theirs = other.Clients();
    std::lock_guard<std::mutex> guard(lock_);
    PublishLocked(std::move(theirs));
}

bool ClientTracer::SameAs(ClientTracer& other) {
    if (&other == this) return true;
    return Clients() == other.Clients() && SameBaseAs(other);
}

}  // namespace vextrel
