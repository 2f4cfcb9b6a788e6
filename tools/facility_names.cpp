#include "tools/facility_names.h"

#include "core/facility.h"

namespace vextrel::tool {

std::optional<uint32_t> ParseHexId(const std::string& text) {
    std::string digits = text;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) digits = digits.substr(2);
    if (digits.empty() || digits.size() > 8 || digits.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
        return std::nullopt;
    return static_cast<uint32_t>(std::stoul(digits, nullptr, 16));
}

std::optional<uint32_t> PriorityOf(const std::string& text) {
    for (uint32_t level = 1; level <= 16; level <<= 1) {
        if (text == PriorityNameOf(level) || text == std::to_string(level)) return level;
    }
    return std::nullopt;
}

std::string PriorityNameText(uint32_t priority) {
    const char* name = PriorityNameOf(priority);
    return name != nullptr ? name : std::to_string(priority);
}

FacilityNames::FacilityNames() { RegisterBuiltinFacilities(); }

void FacilityNames::Add(const SessionHeader& session) {
    for (const HeaderFacility& facility : session.facilities) {
        std::string& name = headerNames_[facility.id];
        if (name != facility.name) ++generation_;
        name = facility.name;
        if (const auto level = PriorityOf(facility.priorityName)) {
            const auto [at, added] = headerPriorities_.try_emplace(facility.id, *level);
            if (added || at->second != *level) ++generation_;
            at->second = *level;
        }
    }
}

std::string FacilityNames::NameOf(uint32_t id) const {
    if (const char* name = FacilityNameOf(id)) return name;
    const auto found = headerNames_.find(id);
    return found != headerNames_.end() ? found->second : std::string();
}

std::optional<uint32_t> FacilityNames::IdOf(const std::string& text) const {
    if (const uint32_t id = FacilityIdOf(text.c_str()); id != 0) return id;
    for (const auto& [id, name] : headerNames_) {
        if (name == text) return id;
    }
    return ParseHexId(text);
}

std::optional<uint32_t> FacilityNames::ConfiguredPriorityOf(uint32_t id) const {
    const auto found = headerPriorities_.find(id);
    if (found == headerPriorities_.end()) return std::nullopt;
    return found->second;
}

}  // namespace vextrel::tool
