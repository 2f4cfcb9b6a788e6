#include "diag/machine_id.h"

#include <atomic>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <mutex>

namespace vextrel {
namespace {

constexpr uint64_t kFoldMultiplier = 0x1003F;

std::atomic<const std::string*> g_machineId{nullptr};
std::mutex g_machineIdLock;
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
        std::snprintf(hex, sizeof hex, "%016" PRIX64,
                      FoldChunk(std::string_view(digits).substr(position, chunkLength)));
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
    // Made once even when threads race to the first call; kept until the library is unloaded while
    // the process runs, so late readers at process exit still find it.
    if (const std::string* identifier = g_machineId.load(std::memory_order_acquire)) return *identifier;
    std::lock_guard<std::mutex> guard(g_machineIdLock);
    if (g_machineId.load(std::memory_order_acquire) == nullptr) {
        g_machineId.store(new std::string(FoldMachineGuid(
                              std::string_view(ReadMachineGuid().data(), platform::kMachineGuidTextSize))),
                          std::memory_order_release);
    }
    return *g_machineId.load(std::memory_order_acquire);
}

void ReleaseMachineUUID() {
    std::lock_guard<std::mutex> guard(g_machineIdLock);
    delete g_machineId.exchange(nullptr, std::memory_order_acq_rel);
}

}  // namespace vextrel
