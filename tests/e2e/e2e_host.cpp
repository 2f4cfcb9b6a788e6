// A host process for the end-to-end tests: it loads the shared library by file name and runs the
// actions given on its command line, one argument each:
//   f:ID:PRIORITY:TEXT      VextrelFormat(ID with PRIORITY, "%s", TEXT)
//   threads:N:COUNT:ID:PRI  N threads, each tracing COUNT numbered lines
//   t:ID:PRI:MS:TEXT        VextrelFormatTimestamp of "start", then MS ms later of TEXT ('|' is a
//                           newline) with the same start stamp
//   restart | reload        VextrelRestart / VextrelReloadConfigsFunc (prints reload=0|1)
//   client+:FILE:TEXT       adds a client that appends its lines to FILE; '|' in TEXT is a newline
//   client-                 removes that client
//   write:FILE:TEXT         replaces FILE with TEXT ('|' is a newline), e.g. to change a config
//   sleep:MS                waits, so the writer drains what was traced
//   path | active           prints path=... / active=0|1
//   register:NAME:ID        prints register=<result>
//   unload                  unloads the library (closing lines are written)
//   slow:US                 clients take US microseconds per line from now on
//   calls                   prints calls=N, the number of client calls begun so far
//   spin:N:ID:PRI           N detached threads tracing a numbered line every millisecond until exit
//   exit | quick_exit | return   ends the process at once, the library still loaded
//   timed:ACTION            runs ACTION and prints "ACTION took=MS"
//   churn:N | restarts:N    N add/remove pairs of the client (a fresh one, ':' text as client+) or
//                           N restarts; prints the resident memory after the first 1000 and at the end
//                           as "memory=KB1:KB2"
//   crash-in:MS             a thread that writes through a null pointer MS ms after it starts running;
//                           the next action waits until it runs
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "examples/library_loader.h"
#include "include/vextrel.h"
#include "tests/support/process.h"

namespace {

std::vector<std::string> Split(const std::string& text, char separator, size_t parts) {
    std::vector<std::string> fields;
    size_t start = 0;
    while (fields.size() + 1 < parts) {
        const size_t end = text.find(separator, start);
        if (end == std::string::npos) break;
        fields.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    fields.push_back(text.substr(start));
    return fields;
}

std::string Lines(std::string text) {
    for (char& c : text) c = c == '|' ? '\n' : c;
    return text;
}

std::atomic<int> g_clientMicroseconds{0};
std::atomic<int> g_clientCalls{0};
std::atomic<bool> g_crashThreadRuns{false};

class FileClient final : public TraceClient {
public:
    explicit FileClient(std::string path) : out_(path, std::ios::binary | std::ios::app) {}
    void OnTraceLine(const char* line, uint32_t length) override {
        g_clientCalls.fetch_add(1);
        const auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(g_clientMicroseconds.load());
        while (std::chrono::steady_clock::now() < until) {}
        out_.write(line, length);
        out_.flush();
    }

private:
    std::ofstream out_;
};

template <typename Function>
Function Find(void* library, const char* name) {
    auto function = reinterpret_cast<Function>(demo::FindFunction(library, name));
    if (function == nullptr) {
        std::fprintf(stderr, "missing export %s\n", name);
        std::exit(3);
    }
    return function;
}

}  // namespace

int main(int argc, char** argv) {
    void* library = demo::LoadLibraryByName(VEXTREL_LIBRARY_FILE_NAME);
    if (library == nullptr) {
        std::fprintf(stderr, "cannot load %s\n", VEXTREL_LIBRARY_FILE_NAME);
        return 2;
    }
    auto format = Find<decltype(&VextrelFormat)>(library, "VextrelFormat");
    auto restart = Find<decltype(&VextrelRestart)>(library, "VextrelRestart");
    auto reload = Find<decltype(&VextrelReloadConfigsFunc)>(library, "VextrelReloadConfigsFunc");
    auto addClient = Find<decltype(&VextrelAddTraceClient)>(library, "VextrelAddTraceClient");
    auto removeClient = Find<decltype(&VextrelRemoveTraceClient)>(library, "VextrelRemoveTraceClient");
    auto tracePath = Find<decltype(&VextrelGetTracePath)>(library, "VextrelGetTracePath");
    auto isActive = Find<decltype(&VextrelIsActiveFunc)>(library, "VextrelIsActiveFunc");
    auto registerFacility = Find<decltype(&VextrelRegisterFacility)>(library, "VextrelRegisterFacility");
    auto formatTimestamp = Find<decltype(&VextrelFormatTimestamp)>(library, "VextrelFormatTimestamp");

    FileClient* client = nullptr;
    // Runs `step(n)` `count` times and prints the resident memory after the first 1000 and at the end.
    const auto memoryLoop = [](int count, const auto& step) {
        uint64_t early = 0;
        for (int n = 0; n < count; ++n) {
            step(n);
            if (n + 1 == 1000) early = vextrel::testing::ResidentBytes();
        }
        std::printf("memory=%llu:%llu\n", (unsigned long long)early / 1024,
                    (unsigned long long)vextrel::testing::ResidentBytes() / 1024);
    };
    for (int i = 1; i < argc; ++i) {
        std::string action = argv[i];
        const bool timed = action.rfind("timed:", 0) == 0;
        if (timed) action = action.substr(6);
        const auto start = std::chrono::steady_clock::now();
        if (action.rfind("churn:", 0) == 0) {
            const auto f = Split(action, ':', 3);
            const std::string text = Lines(f[2]);
            FileClient churned("churn.txt");
            memoryLoop(std::stoi(f[1]), [&](int) {
                addClient(&churned, text.c_str(), static_cast<int32_t>(text.size()));
                removeClient(&churned);
            });
        } else if (action.rfind("restarts:", 0) == 0) {
            memoryLoop(std::stoi(action.substr(9)), [&](int) { restart(); });
        } else if (action.rfind("f:", 0) == 0) {
            const auto f = Split(action, ':', 4);
            format(VXF_WORD(std::stoul(f[1]), std::stoul(f[2])), "%s", f[3].c_str());
        } else if (action.rfind("t:", 0) == 0) {
            const auto f = Split(action, ':', 5);
            uint64_t start = 0;
            const uint32_t word = VXF_WORD(std::stoul(f[1]), std::stoul(f[2]));
            formatTimestamp(&start, word, "start");
            std::this_thread::sleep_for(std::chrono::milliseconds(std::stoi(f[3])));
            formatTimestamp(&start, word, "%s", Lines(f[4]).c_str());
        } else if (action.rfind("threads:", 0) == 0) {
            const auto f = Split(action, ':', 5);
            const int threads = std::stoi(f[1]);
            const int count = std::stoi(f[2]);
            const uint32_t word = VXF_WORD(std::stoul(f[3]), std::stoul(f[4]));
            std::vector<std::thread> workers;
            for (int t = 0; t < threads; ++t) {
                workers.emplace_back([=] {
                    for (int n = 0; n < count; ++n) format(word, "worker %d line %d", t, n);
                });
            }
            for (std::thread& worker : workers) worker.join();
        } else if (action == "restart") {
            restart();
        } else if (action == "reload") {
            std::printf("reload=%d\n", reload() ? 1 : 0);
        } else if (action.rfind("client+:", 0) == 0) {
            const auto f = Split(action, ':', 3);
            client = new FileClient(f[1]);
            const std::string text = Lines(f[2]);
            addClient(client, text.c_str(), static_cast<int32_t>(text.size()));
        } else if (action == "client-") {
            removeClient(client);
        } else if (action.rfind("write:", 0) == 0) {
            const auto f = Split(action, ':', 3);
            std::ofstream(f[1], std::ios::binary | std::ios::trunc) << Lines(f[2]);
        } else if (action.rfind("sleep:", 0) == 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(std::stoi(action.substr(6))));
        } else if (action == "path") {
            std::printf("path=%s\n", tracePath());
        } else if (action == "active") {
            std::printf("active=%d\n", isActive() ? 1 : 0);
        } else if (action.rfind("register:", 0) == 0) {
            const auto f = Split(action, ':', 3);
            std::printf("register=%d\n", registerFacility(f[1].c_str(), static_cast<uint32_t>(std::stoul(f[2]))));
        } else if (action == "calls") {
            std::printf("calls=%d\n", g_clientCalls.load());
        } else if (action.rfind("slow:", 0) == 0) {
            g_clientMicroseconds = std::stoi(action.substr(5));
        } else if (action.rfind("spin:", 0) == 0) {
            const auto f = Split(action, ':', 4);
            const uint32_t word = VXF_WORD(std::stoul(f[2]), std::stoul(f[3]));
            for (int t = 0; t < std::stoi(f[1]); ++t) {
                std::thread([=] {
                    for (int n = 0;; ++n) {
                        format(word, "spin %d line %d", t, n);
                        std::this_thread::sleep_for(std::chrono::milliseconds(1));
                    }
                }).detach();
            }
        } else if (action.rfind("crash-in:", 0) == 0) {
            const int delay = std::stoi(action.substr(9));
            std::thread([delay] {
                g_crashThreadRuns.store(true);
                std::this_thread::sleep_for(std::chrono::milliseconds(delay));
                volatile int* volatile target = nullptr;
                *target = 1;
            }).detach();
            // On Windows a new thread reaches its own code only after the loader has told every
            // module of it, under the loader lock: an unload that took the lock first would hold
            // the thread back until the unload is over, and the crash would come after it.
            while (!g_crashThreadRuns.load()) std::this_thread::yield();
        } else if (action == "exit") {
            std::exit(0);
        } else if (action == "quick_exit") {
            vextrel::testing::QuickExit(0);
        } else if (action == "return") {
            return 0;
        } else if (action == "unload") {
            demo::UnloadLibrary(library);
            library = nullptr;
        } else {
            std::fprintf(stderr, "unknown action %s\n", action.c_str());
            return 4;
        }
        if (timed) {
            const auto took =
                std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
            std::printf("%s took=%lld\n", action.c_str(), static_cast<long long>(took.count()));
        }
        std::fflush(stdout);
    }
    if (library != nullptr) demo::UnloadLibrary(library);
    delete client;
    return 0;
}
