#include "output/user_name_scrub.h"

#include <cstring>

namespace vextrel {

std::string_view ScrubUserName(std::string_view text, const char* userName, char* scratch, size_t scratchSize) {
    if (userName == nullptr || userName[0] == '\0') return text;
    const std::string_view name(userName);
    size_t found = text.find(name);
    if (found == std::string_view::npos) return text;

    constexpr std::string_view kReplacement = "username";
    size_t used = 0;
    bool cut = false;
    auto append = [&](std::string_view piece) {
        const size_t room = scratchSize - used;
        const size_t count = piece.size() < room ? piece.size() : room;
        std::memcpy(scratch + used, piece.data(), count);
        used += count;
        cut = cut || count < piece.size();
    };
    size_t from = 0;
    while (found != std::string_view::npos && !cut) {
        append(text.substr(from, found - from));
        append(kReplacement);
        from = found + name.size();
        found = text.find(name, from);
    }
    if (!cut) append(text.substr(from));
    if (cut && used > 0 && text.back() == '\n') scratch[used - 1] = '\n';
    return {scratch, used};
}

}  // namespace vextrel
