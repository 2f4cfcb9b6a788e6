// make_trace_files: writes trace files of a chosen total size for measuring the vextrel program on
// traces as large as a long host run leaves: several files (one per process), many threads,
// timed records, messages over several lines, lost-output reports, a refresh header halfway and
// the closing line.
//
//   make_trace_files FOLDER TOTAL_MB [FILES] [THREADS]
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

namespace {

constexpr int kFacilities = 12;
constexpr const char* kWords[] = {"buffer",  "render", "voice",  "mixer", "plugin", "disk",  "stream", "block",
                                  "latency", "queue",  "sample", "bus",   "graph",  "meter", "cache",  "frame"};

void WriteHeader(std::FILE* out, unsigned pid, uint64_t clock, bool refresh) {
    std::fprintf(out, "\n\n*** %s\t/opt/Host/bin/host%u (pid=0x%x, version=1.0.0)\n",
                 refresh ? "Refreshing session trace for:" : "Orbanex Session Trace for:", pid, pid);
    if (!refresh) {
        std::fprintf(out, "*** Build Details:\t\t\tBuild: Release; Build: 1 \n");
        std::fprintf(out, "*** Starting Timestamp:\t\t12/6/2026, 3:4:5 UTC (%" PRIu64 ".%06" PRIu64 " s)\n",
                     clock / 1000000, clock % 1000000);
        std::fprintf(out, "*** Vextrel Config File:\t\t/opt/Host/bin/host.vextrel\n");
        std::fprintf(out, "*** Machine UUID:\t\t\t4C4C4544-0042-3510-8052-B4C04F4E3232\n");
    }
    for (int facility = 1; facility <= kFacilities; ++facility)
        std::fprintf(out, "VXF_BENCH_%02d@VXP_NORMAL(%04x)\n", facility, 0x100 + facility);
    std::fprintf(out, "\nTime(s),Tid,Facility : Debug Message\n%s\n", std::string(75, '-').c_str());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s FOLDER TOTAL_MB [FILES] [THREADS]\n", argv[0]);
        return 2;
    }
    const std::string folder = argv[1];
    const uint64_t totalBytes = std::strtoull(argv[2], nullptr, 10) << 20;
    const int files = argc > 3 ? std::atoi(argv[3]) : 4;
    const int threads = argc > 4 ? std::atoi(argv[4]) : 48;
    std::mt19937_64 random(12345);
    for (int index = 0; index < files; ++index) {
        const std::string path = folder + "/host" + std::to_string(index) + "_2026-12-06_03-04-05.txt";
        std::FILE* out = std::fopen(path.c_str(), "wb");
        if (out == nullptr) {
            std::perror(path.c_str());
            return 1;
        }
        static char buffer[1 << 20];
        std::setvbuf(out, buffer, _IOFBF, sizeof buffer);
        const unsigned pid = 0x1000 + static_cast<unsigned>(index);
        uint64_t clock = 1000000000ull + static_cast<uint64_t>(index) * 1500;  // the processes overlap in time
        WriteHeader(out, pid, clock, false);
        const uint64_t fileBytes = totalBytes / static_cast<uint64_t>(files);
        bool refreshed = false;
        for (uint64_t record = 0;; ++record) {
            const long written = std::ftell(out);
            if (static_cast<uint64_t>(written) >= fileBytes) break;
            if (!refreshed && static_cast<uint64_t>(written) >= fileBytes / 2) {
                WriteHeader(out, pid, clock, true);
                refreshed = true;
            }
            clock += random() % 40 + ((record % 50000) == 0 ? 2000000 : 0);  // now and then a pause
            // Records reach the file in the order they were queued, a little out of time order.
            const uint64_t time = clock - random() % 5;
            const unsigned thread = 0x1a00 + static_cast<unsigned>(random() % static_cast<uint64_t>(threads)) * 4;
            const int facility = 0x101 + static_cast<int>(random() % kFacilities);
            std::fprintf(out, "%" PRIu64 ".%06" PRIu64 ",%05x,%04x", time / 1000000, time % 1000000, thread, facility);
            if (record % 7 == 0) std::fprintf(out, ",nm=Audio");
            std::fprintf(out, ": %s %s %" PRIu64 " of %s", kWords[random() % 16], kWords[random() % 16], record,
                         kWords[random() % 16]);
            const uint64_t kind = random() % 100;
            if (kind < 30) {
                std::fprintf(out, " (%" PRIu64 " us)", random() % 2000 + (random() % 1000 == 0 ? 100000 : 0));
            } else if (kind < 32) {
                std::fprintf(out, "\n  second line of %s\n  third line", kWords[random() % 16]);
            }
            std::fputc('\n', out);
            if (record % 200000 == 199999) {
                std::fprintf(out,
                             "!!!***!!! The trace writer couldn't keep up with the incoming trace requests.\n"
                             "!!!***!!! Some of your trace output has been lost.  Try decreasing the amount of\n"
                             "!!!***!!! trace output you are logging, or increasing the size of the trace buffer.\n");
            }
        }
        std::fprintf(out, "\n\n *** Vextrel Log Complete ***\n");
        std::fclose(out);
    }
    return 0;
}
