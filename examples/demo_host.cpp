// A small host application: it loads the tracing library by its file name, as a real host does,
// traces from several threads with a few facilities and priorities, a timed message, a memory dump
// and a trace client, then unloads the library and says where the trace file is.
//
// The library reads demo_host.vextrel next to this executable when it loads.
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "include/vextrel.h"
#include "library_loader.h"

namespace {

// Facility ids of the library's built-in list that demo_host.vextrel enables.
constexpr uint32_t kEngineCore = 1;
constexpr uint32_t kMixerChannel = 101;
constexpr uint32_t kDiskRead = 301;

struct Library {
    void* handle = nullptr;
    decltype(&VextrelFormat) format = nullptr;
    decltype(&VextrelFormatTimestamp) formatTimestamp = nullptr;
    decltype(&VextrelPuts) puts = nullptr;
    decltype(&VextrelMem) mem = nullptr;
    decltype(&VextrelFacilityOnFunc) facilityOn = nullptr;
    decltype(&VextrelAddTraceClient) addClient = nullptr;
    decltype(&VextrelRemoveTraceClient) removeClient = nullptr;
    decltype(&VextrelGetTracePath) tracePath = nullptr;
};

template <typename Function>
bool Resolve(void* library, const char* name, Function& function) {
    function = reinterpret_cast<Function>(demo::FindFunction(library, name));
    if (function == nullptr) std::fprintf(stderr, "demo_host: the library does not export %s\n", name);
    return function != nullptr;
}

// A trace client: the mixer window of a real host would show these lines.
class MixerConsole : public TraceClient {
public:
    void OnTraceLine(const char* line, uint32_t length) override {
        ++lines_;
        std::printf("  [client] %.*s", static_cast<int>(length), line);
    }
    int lines() const { return lines_; }

private:
    int lines_ = 0;
};

void AudioThread(const Library& library, int channel) {
    for (int block = 0; block < 5; ++block) {
        library.format(VXF_WORD(kMixerChannel, VXP_NORMAL), "channel %d processed block %d (%d frames)", channel, block,
                       256);
        if (library.facilityOn(VXF_WORD(kMixerChannel, VXP_LOW))) {
            library.format(VXF_WORD(kMixerChannel, VXP_LOW), "channel %d detail that is filtered out", channel);
        }
    }
}

}  // namespace

int main() {
    Library library;
    library.handle = demo::LoadLibraryByName(VEXTREL_LIBRARY_FILE_NAME);
    if (library.handle == nullptr) {
        std::fprintf(stderr, "demo_host: cannot load %s\n", VEXTREL_LIBRARY_FILE_NAME);
        return 1;
    }
    if (!Resolve(library.handle, "VextrelFormat", library.format) ||
        !Resolve(library.handle, "VextrelFormatTimestamp", library.formatTimestamp) ||
        !Resolve(library.handle, "VextrelPuts", library.puts) || !Resolve(library.handle, "VextrelMem", library.mem) ||
        !Resolve(library.handle, "VextrelFacilityOnFunc", library.facilityOn) ||
        !Resolve(library.handle, "VextrelAddTraceClient", library.addClient) ||
        !Resolve(library.handle, "VextrelRemoveTraceClient", library.removeClient) ||
        !Resolve(library.handle, "VextrelGetTracePath", library.tracePath)) {
        return 1;
    }

    library.format(VXF_WORD(kEngineCore, VXP_HIGH), "demo host starting, %d audio threads", 3);

    MixerConsole console;
    const char clientConfig[] = "VXF_MIXER_CHANNEL=S@VXP_NORMAL\n";
    library.addClient(&console, clientConfig, static_cast<int32_t>(std::strlen(clientConfig)));

    uint64_t started = 0;
    library.formatTimestamp(&started, VXF_WORD(kEngineCore, VXP_NORMAL), "render pass begins");
    std::vector<std::thread> threads;
    for (int channel = 1; channel <= 3; ++channel) threads.emplace_back(AudioThread, std::cref(library), channel);
    for (std::thread& thread : threads) thread.join();
    library.formatTimestamp(&started, VXF_WORD(kEngineCore, VXP_NORMAL), "render pass ends");

    const unsigned char header[40] = {'R',  'I',  'F', 'F', 0x24, 0x08, 0,  0, 'W', 'A', 'V',  'E',  'f', 'm',
                                      't',  ' ',  16,  0,   0,    0,    1,  0, 2,   0,   0x44, 0xAC, 0,   0,
                                      0x10, 0xB1, 2,   0,   4,    0,    16, 0, 'd', 'a', 't',  'a'};
    library.mem(VXF_WORD(kDiskRead, VXP_NORMAL), "wave header", header, sizeof header);
    library.puts(VXF_WORD(kDiskRead, VXP_URGENT), "disk read of a session file failed: retrying");

    library.removeClient(&console);
    const std::string path = library.tracePath();
    demo::UnloadLibrary(library.handle);  // stops the writer threads and closes the trace file

    std::printf("demo_host: the trace client received %d lines\n", console.lines());
    std::printf("demo_host: trace file: %s\n", path.empty() ? "(none)" : path.c_str());
    return path.empty() ? 1 : 0;
}
