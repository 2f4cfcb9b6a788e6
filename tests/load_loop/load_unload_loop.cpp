// Loads and unloads the real shared library many times in one process, tracing a record, adding and
// removing a client and restarting once per cycle; every tenth cycle unloads right after its first
// trace call and the next one right after the load, before its writer thread could run. Fails when
// resident memory grows by more than 5 MB between the first and the last cycle, or when a cycle's
// trace file lacks its record or its closing line.
// Usage: load_unload_loop <cycles> [<allowed growth in MB>, 0: not checked, as under the sanitizers,
// whose allocators keep freed memory]; it writes its configuration file beside itself.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "examples/library_loader.h"
#include "include/vextrel.h"
#include "tests/support/process.h"

namespace fs = std::filesystem;

namespace {

struct NullClient final : TraceClient {
    void OnTraceLine(const char*, uint32_t) override {}
};

std::string ReadWhole(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

template <typename Function>
Function Find(void* library, const char* name) {
    return reinterpret_cast<Function>(demo::FindFunction(library, name));
}

}  // namespace

int main(int argc, char** argv) {
    const int cycles = argc > 1 ? std::atoi(argv[1]) : 1000;
    const uint64_t allowedGrowth = (argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 5u) * 1024u * 1024u;
    const fs::path traces = fs::temp_directory_path() / "vextrel-load-loop-traces";
    const fs::path self = fs::absolute(argv[0]);
    std::ofstream(self.parent_path() / (self.stem().string() + ".vextrel"))
        << "filetracingdir=" << traces.string() << "\nappend=true\nVXF_ENGINE_CORE=F@VXP_LOW\n";
    uint64_t firstResident = 0;
    NullClient client;
    for (int cycle = 0; cycle < cycles; ++cycle) {
        fs::remove_all(traces);
        void* library = demo::LoadLibraryByName(VEXTREL_LIBRARY_FILE_NAME);
        if (library == nullptr) return std::fprintf(stderr, "cannot load the library\n"), 2;
        const std::string clientConfig = "filetracingdir=" + traces.string() + "\nVXF_ENGINE_CORE=S@VXP_LOW\n";
        const bool traceOnly = cycle % 10 == 8, noCall = cycle % 10 == 9;
        if (!noCall) Find<decltype(&VextrelFormat)>(library, "VextrelFormat")(VXF_WORD(1, 2), "cycle %d", cycle);
        if (!noCall && !traceOnly) {
            Find<decltype(&VextrelAddTraceClient)>(library, "VextrelAddTraceClient")(
                &client, clientConfig.c_str(), static_cast<int32_t>(clientConfig.size()));
            Find<decltype(&VextrelRemoveTraceClient)>(library, "VextrelRemoveTraceClient")(&client);
            Find<decltype(&VextrelRestart)>(library, "VextrelRestart")();
            Find<decltype(&VextrelFormat)>(library, "VextrelFormat")(VXF_WORD(1, 2), "cycle %d restarted", cycle);
        }
        demo::UnloadLibrary(library);
        const std::string record = noCall ? "" : "cycle " + std::to_string(cycle) + (traceOnly ? "" : " restarted");

        int closed = 0;
        for (const auto& entry : fs::directory_iterator(traces)) {
            const std::string trace = ReadWhole(entry.path());
            closed += trace.find("*** Vextrel Log Complete ***") != std::string::npos ? 1 : 0;
            if (trace.find(record) == std::string::npos) {
                return std::fprintf(stderr, "cycle %d: the record is missing\n", cycle), 1;
            }
        }
        if (closed == 0) return std::fprintf(stderr, "cycle %d: no closing line\n", cycle), 1;
        if (cycle == 0) firstResident = vextrel::testing::ResidentBytes();
    }
    const uint64_t lastResident = vextrel::testing::ResidentBytes();
    std::printf("resident after the first cycle: %llu KB, after cycle %d: %llu KB\n",
                static_cast<unsigned long long>(firstResident / 1024), cycles,
                static_cast<unsigned long long>(lastResident / 1024));
    return allowedGrowth != 0 && lastResident > firstResident + allowedGrowth ? 1 : 0;
}
