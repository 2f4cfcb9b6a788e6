// Which records a command shows: by facility, level, thread, configuration name, time and text.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tools/facility_names.h"
#include "tools/trace_file_reader.h"

namespace vextrel::tool {

// The filter options as given on the command line.
struct FilterOptions {
    std::vector<std::string> facilities;  // names or hexadecimal ids
    std::string priority;                 // a VXP_ name or level number; empty: any
    std::vector<std::string> threads;     // hexadecimal thread ids
    std::vector<std::string> names;       // configuration names
    std::optional<double> since, until;   // seconds as in the file
    std::string grep;                     // ECMAScript regular expression searched in the message
};

class RecordFilter {
public:
    // Resolves names and ids; throws std::invalid_argument on an unknown facility, level, thread
    // id or a bad regular expression.
    RecordFilter(const FilterOptions& options, const FacilityNames& names);

    // True when a record passes every filter given. A level filter keeps the records of facilities
    // that the file's header lists at that level or above, since a record line does not carry its
    // own level: every record shown was then traced at that level or above.
    bool Accepts(const TraceEntry& record) const;

private:
    const FacilityNames& names_;
    std::vector<uint32_t> facilities_;
    std::optional<uint32_t> priority_;
    std::vector<uint32_t> threads_;
    std::vector<std::string> configNames_;
    std::optional<uint64_t> since_, until_;
    // The compiled --grep expression, null when none; its type stays in the .cpp, so that the
    // files that include this one do not compile the regular expression library.
    struct Pattern;
    std::shared_ptr<const Pattern> grep_;
};

}  // namespace vextrel::tool
