// Random-case comparison of FormatMessageText, and of a captured call formatted later, with this
// platform's vsnprintf, for targets without libFuzzer: format_diff_check [cases [seed]] runs the
// cases (1000000 by default) and fails on the first difference; at the end it says how many cases
// were captured.
#include <cstdlib>

#include "fuzz/format_diff_case.h"

int main(int argc, char** argv) {
    const unsigned long long cases = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1000000;
    uint64_t state = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 0x9E3779B97F4A7C15ULL;
    uint8_t bytes[64];
    std::string format;
    size_t capacity = 0;
    vextrel::fuzz::Outcome outcome;
    unsigned long long captured = 0;
    for (unsigned long long n = 0; n < cases; ++n) {
        for (size_t i = 0; i < sizeof bytes; i += 8) {
            uint64_t z = (state += 0x9E3779B97F4A7C15ULL);  // splitmix64
            z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
            z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
            z ^= z >> 31;
            std::memcpy(bytes + i, &z, 8);
        }
        vextrel::fuzz::ByteSource source(bytes, sizeof bytes);
        vextrel::fuzz::RunCase(source, format, capacity, outcome);
        if (!vextrel::fuzz::Agree(outcome)) {
            std::printf(
                "case %llu: format \"%s\" capacity %u\n  ours     %d \"%.*s\"\n  later    %d \"%.*s\"%s\n"
                "  vsnprintf %d \"%.*s\"\n",
                n, format.c_str(), static_cast<unsigned>(capacity), outcome.oursLength, 512, outcome.ours,
                outcome.laterLength, 512, outcome.later, outcome.captured ? "" : " (not captured)",
                outcome.theirsLength, 512, outcome.theirs);
            return 1;
        }
        if (outcome.captured) ++captured;
        if ((n + 1) % 10000000 == 0) {
            std::printf("%llu cases so far\n", n + 1);
            std::fflush(stdout);
        }
    }
    std::printf("%llu cases (%llu captured), no difference\n", cases, captured);
    return 0;
}
