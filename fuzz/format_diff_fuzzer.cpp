// Differential fuzzer of the trace formatter: every input becomes a random format with random
// arguments, formatted by FormatMessageText, from a capture (as the writer formats a record) and by
// the C library's vsnprintf; any difference in the returned length or in the buffer's bytes aborts
// the run.
#include <cstdlib>

#include "fuzz/format_diff_case.h"

namespace {

unsigned long long g_cases = 0;

void ReportCases() { std::fprintf(stderr, "format_diff: %llu cases compared\n", g_cases); }

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    std::atexit(ReportCases);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    vextrel::fuzz::ByteSource source(data, size);
    std::string format;
    size_t capacity = 0;
    vextrel::fuzz::Outcome outcome;
    while (true) {
        vextrel::fuzz::RunCase(source, format, capacity, outcome);
        ++g_cases;
        if (!vextrel::fuzz::Agree(outcome)) {
            std::fprintf(stderr, "format \"%s\" capacity %zu: ours %d \"%.*s\", vsnprintf %d \"%.*s\"\n",
                         format.c_str(), capacity, outcome.oursLength, 512, outcome.ours, outcome.theirsLength, 512,
                         outcome.theirs);
            std::abort();
        }
        if (size < 48) return 0;  // one case per short input; longer inputs hold several
        data += 48;
        size -= 48;
        source = vextrel::fuzz::ByteSource(data, size);
    }
}
