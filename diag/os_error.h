// The texts of the host's audio and driver error codes.
#pragma once

#include <cstdint>

namespace vextrel {

// The text of an unknown code.
inline constexpr const char* kUnknownOSErrorText = "Unknown OSErr";

// The text of `code`, or kUnknownOSErrorText.
const char* OSErrorText(int32_t code);

}  // namespace vextrel
