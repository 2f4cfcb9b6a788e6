#include "tools/record_filter.h"

#include <algorithm>
#include <cmath>
#include <regex>
#include <stdexcept>

namespace vextrel::tool {

struct RecordFilter::Pattern {
    std::regex expression;
};

namespace {

uint64_t ToMicroseconds(double seconds) {
    return seconds <= 0 ? 0 : static_cast<uint64_t>(std::llround(seconds * 1e6));
}

template <typename T>
bool Holds(const std::vector<T>& values, const T& value) {
    return values.empty() || std::find(values.begin(), values.end(), value) != values.end();
}

}  // namespace

RecordFilter::RecordFilter(const FilterOptions& options, const FacilityNames& names)
    : names_(names), configNames_(options.names) {
    for (const std::string& facility : options.facilities) {
        const auto id = names.IdOf(facility);
        if (!id) throw std::invalid_argument("unknown facility " + facility);
        facilities_.push_back(*id);
    }
    if (!options.priority.empty()) {
        priority_ = PriorityOf(options.priority);
        if (!priority_) throw std::invalid_argument("unknown priority " + options.priority);
    }
    for (const std::string& thread : options.threads) {
        const auto id = ParseHexId(thread);
        if (!id) throw std::invalid_argument("bad thread id " + thread);
        threads_.push_back(*id);
    }
    if (options.since) since_ = ToMicroseconds(*options.since);
    if (options.until) until_ = ToMicroseconds(*options.until);
    if (!options.grep.empty()) {
        try {
            grep_ = std::make_shared<const Pattern>(Pattern{std::regex(options.grep)});
        } catch (const std::regex_error& error) {
            throw std::invalid_argument("bad regular expression " + options.grep + ": " + error.what());
        }
    }
}

bool RecordFilter::Accepts(const TraceEntry& record) const {
    if (record.kind != EntryKind::kRecord) return false;
    if (!Holds(facilities_, record.facilityId) || !Holds(threads_, record.threadId) ||
        !Holds(configNames_, record.name)) {
        return false;
    }
    if (since_ && record.microseconds < *since_) return false;
    if (until_ && record.microseconds > *until_) return false;
    if (priority_) {
        const auto configured = names_.ConfiguredPriorityOf(record.facilityId);
        if (!configured || *configured < *priority_) return false;
    }
    if (!grep_) return true;
    const std::string_view text = record.Text();
    return std::regex_search(text.begin(), text.end(), grep_->expression);
}

}  // namespace vextrel::tool
