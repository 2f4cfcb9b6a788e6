// Registers a C++ trace client, traces a line at a built-in facility and waits (at most 5 s) for it.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include <vextrel_facilities.h>
#include <vextrel_version.h>

class Collector final : public TraceClient {
public:
    std::atomic<bool> received{false};
    void OnTraceLine(const char* line, uint32_t) override {
        if (std::strstr(line, "from C++") != nullptr) received = true;
    }
};

int main() {
    static const char kText[] = "VXF_ENGINE_RENDER=S@VXP_NORMAL";
    Collector client;
    VextrelAddTraceClient(&client, kText, static_cast<int32_t>(sizeof kText - 1));
    VextrelFormat(VXF_WORD(VXF_ENGINE_RENDER, VXP_HIGH), "frame %d from C++", 1);
    for (int i = 0; i < 500 && !client.received; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    VextrelRemoveTraceClient(&client);
    std::printf("C++ host: version %s, client %s\n", VEXTREL_VERSION_STRING,
                client.received ? "received the line" : "got nothing");
    return client.received ? 0 : 1;
}
