#include "diag/machine_id.h"

#include <cinttypes>
#include <cstdint>
#include <cstdio>

namespace vextrel {
namespace {

constexpr uint64_t kFoldMultiplier = 0x1003F;
constexpr size_t kGroupLength = 4;

uint64_t FoldChunk(std::string_view chunk) {
    uint64_t folded = 0;
    for (char character : chunk) {
        // Each byte counts as a signed 8-bit number, widened with its sign.
        const auto value = static_cast<uint64_t>(static_cast<int64_t>(static_cast<int8_t>(character)));
        folded = folded * kFoldMultiplier + value;
    }
    return folded;
}

}  // namespace

MachineGuidText ReadMachineGuid() {
    char text[platform::kMachineGuidTextSize];
    platform::ReadMachineGuidText(text);
    MachineGuidText result;
    for (size_t i = 0; i < result.size(); ++i) result[i] = text[i];
    return result;
}

std::string FoldMachineGuid(std::string_view text, size_t chunkLength) {
    std::string digits;
    for (char character : text) {
        if (character != '-') digits += character;
    }
    if (chunkLength == 0) return {};

    std::string folded;
    for (size_t position = 0;;) {
        char hex[17];
        std::snprintf(hex, sizeof hex, "%016" PRIX64, FoldChunk(std::string_view(digits).substr(position, chunkLength)));
        folded += hex;
        position += chunkLength;
        // Stop once fewer than a whole chunk's worth of characters follows the position.
        if (position + chunkLength > digits.size()) break;
    }

    // Insert from the end so that each insertion leaves the positions in front of it in place.
    for (size_t position = folded.size() - kGroupLength; position >= kGroupLength; position -= kGroupLength) {
        folded.insert(position, 1, '-');
    }
    return folded;
}

const std::string& MachineUUID() {
    // Function-local static initialisation runs once even when threads race to the first call;
    // the string is never destroyed, so late readers at process exit still find it.
    static const std::string* identifier = new std::string(FoldMachineGuid(
        std::string_view(ReadMachineGuid().data(), platform::kMachineGuidTextSize)));
    return *identifier;
}

}  // namespace vextrel
