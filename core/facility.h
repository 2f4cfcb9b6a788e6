// The facility word, the priority levels and the process-wide facility registry.
//
// A facility word is an unsigned 32-bit value: bits 0-23 the facility id (valid 0..20479), bits
// 24-31 the priority byte (0 when the caller gave none).
#pragma once

#include <cstdint>
#include <memory>

namespace vextrel {

class LevelPages;

constexpr uint32_t kFacilityIdLimit = 20480;    // ids at or above this are never configured or traced
constexpr uint32_t kPriorityTableSize = 20481;  // one entry more than the valid ids; the last stays 17
constexpr uint32_t kPriorityOff = 17;           // the "off" entry: no named level reaches it
constexpr uint32_t kFacilityAll = 20479;        // VXF_ALL: expands to every registered id below it

// The facility id in bits 0-23 of a word.
constexpr uint32_t FacilityIdOfWord(uint32_t word) { return word & 0x00FFFFFFu; }

// The priority byte in bits 24-31 of a word (0 when none was given).
constexpr uint32_t PriorityByteOfWord(uint32_t word) { return word >> 24; }

// The priority a trace call uses: the priority byte, or 1 (VXP_LOWEST) when the byte is 0.
constexpr uint32_t TracePriorityOfWord(uint32_t word) { return word < 0x01000000u ? 1u : word >> 24; }

// The priority VextrelFacilityOnFunc asks about: the priority byte, or 16 (VXP_URGENT) when 0.
constexpr uint32_t QueryPriorityOfWord(uint32_t word) { return word < 0x01000000u ? 16u : word >> 24; }

// The name of a named priority level (1, 2, 4, 8, 16), or null for any other value.
const char* PriorityNameOf(uint32_t priority);

// Creates the registry and registers the built-in facility list, once per process; later calls
// return at once. Called by the creation of every TraceConfig.
void RegisterBuiltinFacilities();

// Frees the registry (the next configuration created builds it afresh), for an unload while the
// process keeps running: no trace call may still read a facility name.
void ReleaseFacilityRegistry();

// Adds (name, id) to the registry: 1 when added, 0 when the registry does not exist yet, the id
// already has a name or the name already has an id. The id is stored unchanged.
int32_t RegisterFacility(const char* name, uint32_t id);

// The registered name of an id, or null when it has none or the registry does not exist yet.
// A returned name stays valid for the life of the process.
const char* FacilityNameOf(uint32_t id);

// The ids VXF_ALL stands for (every registered id below it) with their shared table pages; made
// again after a registration.
std::shared_ptr<const LevelPages> AllFacilityPages();

// The id registered for a name (exact, case-sensitive), or 0 when none or no registry yet.
uint32_t FacilityIdOf(const char* name);

// One row of the built-in facility list.
struct BuiltinFacility {
    const char* name;
    uint32_t id;
};

// The built-in facility list in its fixed registration order (284 rows, one id repeated).
const BuiltinFacility* BuiltinFacilities(uint32_t* count);

}  // namespace vextrel
