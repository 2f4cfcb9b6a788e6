// Names of facilities and priority levels for the tool: the library's own registry of built-in
// facilities, completed by the facility lines of the headers read (which also name facilities a
// host registered at run time, and say at which level each facility was traced).
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "tools/trace_file_reader.h"

namespace vextrel::tool {

class FacilityNames {
public:
    FacilityNames();

    // Adds the facility lines of a header; a later header wins over an earlier one.
    void Add(const SessionHeader& session);
    // Changes whenever Add changed a name or level, for those who keep what they looked up.
    uint64_t Generation() const { return generation_; }

    // The facility's name, or "" when neither the registry nor a header names it.
    std::string NameOf(uint32_t id) const;

    // A facility given as a name (VXF_...), as 0x-prefixed hexadecimal, or as the hexadecimal
    // digits the trace file prints; nullopt when it is none of these.
    std::optional<uint32_t> IdOf(const std::string& text) const;

    // The level the file tracer traced the facility at, from the headers; nullopt when unknown.
    std::optional<uint32_t> ConfiguredPriorityOf(uint32_t id) const;

private:
    std::map<uint32_t, std::string> headerNames_;
    std::map<uint32_t, uint32_t> headerPriorities_;
    uint64_t generation_ = 0;
};

// A priority level given by its VXP_ name or its number (1, 2, 4, 8, 16); nullopt otherwise.
std::optional<uint32_t> PriorityOf(const std::string& text);

// The VXP_ name of a level, or its number when it has none.
std::string PriorityNameText(uint32_t priority);

// Hexadecimal digits (an optional 0x prefix), as thread and facility ids appear in trace files.
std::optional<uint32_t> ParseHexId(const std::string& text);

}  // namespace vextrel::tool
