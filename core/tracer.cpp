#include "core/tracer.h"

#include <algorithm>
#include <cstdio>
#include <iterator>

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

void BaseTracer::MergeBaseFrom(const BaseTracer& other) {
    if (&other == this) return;
    if (State() == kTracerNotConfigured || other.State() == kTracerDisabled) SetState(other.State());
    table_.LowerTo(other.table_);
    if (std::includes(configured_.begin(), configured_.end(), other.configured_.begin(), other.configured_.end())) return;
    std::vector<uint32_t> both;
    both.reserve(configured_.size() + other.configured_.size());
    std::set_union(configured_.begin(), configured_.end(), other.configured_.begin(), other.configured_.end(),
                   std::back_inserter(both));
    configured_.swap(both);
}

void BaseTracer::CopyBaseFrom(const BaseTracer& other) {
    if (&other == this) return;
    SetState(other.State());
    table_.CopyFrom(other.table_);
    configured_ = other.configured_;
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

void ClientTracer::Write(char* line, int32_t length) {
    std::lock_guard<std::mutex> guard(lock_);
    const ClientCallbackMark mark;
    for (TraceClient* client : clients_) client->OnTraceLine(line, static_cast<uint32_t>(length));
}

void ClientTracer::SortAndPublishLocked() {
    std::sort(clients_.begin(), clients_.end());
    clients_.erase(std::unique(clients_.begin(), clients_.end()), clients_.end());
    clientCount_.store(static_cast<uint32_t>(clients_.size()), std::memory_order_relaxed);
}

void ClientTracer::AddClient(TraceClient* client) {
    std::lock_guard<std::mutex> guard(lock_);
    if (State() != kTracerDisabled) SetState(kTracerActive);
    clients_.push_back(client);
    SortAndPublishLocked();
}

void ClientTracer::RemoveClient(TraceClient* client) {
    std::lock_guard<std::mutex> guard(lock_);
    auto found = std::find(clients_.begin(), clients_.end(), client);
    if (found == clients_.end()) return;
    clients_.erase(found);
    clientCount_.store(static_cast<uint32_t>(clients_.size()), std::memory_order_relaxed);
}

void ClientTracer::MergeFrom(ClientTracer& other) {
    if (&other == this) return;
    std::lock_guard<std::mutex> mine(lock_);
    std::lock_guard<std::mutex> theirs(other.lock_);
    MergeBaseFrom(other);
    clients_.insert(clients_.end(), other.clients_.begin(), other.clients_.end());
    SortAndPublishLocked();
}

void ClientTracer::AssignFrom(ClientTracer& other) {
    if (&other == this) return;
    CopyBaseFrom(other);
    std::lock_guard<std::mutex> mine(lock_);
    std::lock_guard<std::mutex> theirs(other.lock_);
    clients_ = other.clients_;
    clientCount_.store(static_cast<uint32_t>(clients_.size()), std::memory_order_relaxed);
}

bool ClientTracer::SameAs(ClientTracer& other) {
    if (&other == this) return true;
    std::lock_guard<std::mutex> mine(lock_);
    std::lock_guard<std::mutex> theirs(other.lock_);
    return clients_ == other.clients_ && SameBaseAs(other);
}

std::vector<TraceClient*> ClientTracer::Clients() {
    std::lock_guard<std::mutex> guard(lock_);
    return clients_;
}

}  // namespace vextrel
