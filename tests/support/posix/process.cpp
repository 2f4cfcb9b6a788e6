#include <fcntl.h>
#include <link.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <ucontext.h>
#include <unistd.h>

#include <atomic>
#include <ctime>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "../process.h"

namespace vextrel::testing {
namespace {

// What the pause signal's handler needs: the code range to pause in, the pause, and its answer.
std::atomic<uintptr_t> g_codeStart{0}, g_codeEnd{0};
std::atomic<uint32_t> g_pauseMilliseconds{0};
std::atomic<int> g_pauseAnswer{0};  // 0 = pending, 1 = paused, 2 = not inside

void OnPauseSignal(int, siginfo_t*, void* context) {
    const auto at = static_cast<uintptr_t>(static_cast<ucontext_t*>(context)->uc_mcontext.gregs[REG_RIP]);
    const bool inside = at >= g_codeStart.load() && at < g_codeEnd.load();
    if (inside) {
        const uint32_t ms = g_pauseMilliseconds.load();
        timespec pause{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
        while (nanosleep(&pause, &pause) != 0) {}
    }
    g_pauseAnswer.store(inside ? 1 : 2);
}

// The executable segment that holds `code`.
void FindCodeRange(const void* code) {
    struct Search {
        uintptr_t code, start, end;
    } search{reinterpret_cast<uintptr_t>(code), 0, 0};
    dl_iterate_phdr(
        [](dl_phdr_info* module, size_t, void* context) {
            auto* found = static_cast<Search*>(context);
            for (int i = 0; i < module->dlpi_phnum; ++i) {
                const ElfW(Phdr)& header = module->dlpi_phdr[i];
                const uintptr_t start = module->dlpi_addr + header.p_vaddr;
                if (header.p_type != PT_LOAD || (header.p_flags & PF_X) == 0) continue;
                if (found->code < start || found->code >= start + header.p_memsz) continue;
                found->start = start;
                found->end = start + header.p_memsz;
            }
            return 0;
        },
        &search);
    g_codeStart.store(search.start);
    g_codeEnd.store(search.end);
}

}  // namespace

uintptr_t CurrentThreadForPauses() { return static_cast<uintptr_t>(pthread_self()); }

bool PauseIfInside(uintptr_t thread, const void* codeInModule, uint32_t milliseconds) {
    static const bool installed = [&] {
        FindCodeRange(codeInModule);
        struct sigaction action {};
        action.sa_sigaction = OnPauseSignal;
        action.sa_flags = SA_SIGINFO | SA_RESTART;
        sigemptyset(&action.sa_mask);
        return sigaction(SIGUSR2, &action, nullptr) == 0;
    }();
    if (!installed || g_codeEnd.load() == 0) return false;
    g_pauseMilliseconds.store(milliseconds);
    g_pauseAnswer.store(0);
    if (pthread_kill(static_cast<pthread_t>(thread), SIGUSR2) != 0) return false;
    while (g_pauseAnswer.load() == 0) usleep(100);
    return g_pauseAnswer.load() == 1;
}

int RunProcess(const std::string& program, const std::vector<std::string>& arguments, const std::string& workingFolder,
               std::string* output) {
    const std::string capture = workingFolder + "/.process-output";
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    // The child's environment: ours, except that LeakSanitizer stays quiet in hosts. The library
    // keeps its process-wide state (facility registry, host facts) for the life of the process on
    // purpose; once a host unloads it, that memory is out of reach and would be reported as leaked.
    std::vector<std::string> environment;
    for (char** variable = environ; *variable != nullptr; ++variable) {
        if (std::strncmp(*variable, "ASAN_OPTIONS=", 13) != 0) environment.emplace_back(*variable);
    }
    const char* asanOptions = std::getenv("ASAN_OPTIONS");
    environment.push_back(std::string("ASAN_OPTIONS=") + (asanOptions != nullptr ? asanOptions : "") +
                          ":detect_leaks=0");
    std::vector<char*> envp;
    for (std::string& variable : environment) envp.push_back(variable.data());
    envp.push_back(nullptr);
    const pid_t child = fork();
    if (child < 0) return -1;
    if (child == 0) {
        const int out = open(capture.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out < 0 || chdir(workingFolder.c_str()) != 0) _exit(126);
        dup2(out, 1);
        dup2(out, 2);
        execve(program.c_str(), argv.data(), envp.data());
        _exit(127);
    }
    int status = 0;
    if (waitpid(child, &status, 0) != child) return -1;
    std::ifstream in(capture, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    if (output != nullptr) *output = text.str();
    std::remove(capture.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::string ExecutablePath() {
    char path[4096];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    return length > 0 ? std::string(path, static_cast<size_t>(length)) : std::string();
}

uint64_t ResidentBytes() {
    std::ifstream statm("/proc/self/statm");
    uint64_t pages = 0;
    uint64_t resident = 0;
    statm >> pages >> resident;
    return resident * static_cast<uint64_t>(sysconf(_SC_PAGESIZE));
}

void QuickExit(int code) { std::quick_exit(code); }

int OpenPipeAtPath(const std::string& path) {
    if (mkfifo(path.c_str(), 0600) != 0) return -1;
    const int pipe = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (pipe >= 0) fcntl(pipe, F_SETFL, 0);  // blocking reads from here on
    return pipe;
}

std::string ReadPipeToEnd(int pipe) {
    std::string text;
    char buffer[65536];
    for (ssize_t got; (got = read(pipe, buffer, sizeof buffer)) > 0;) text.append(buffer, static_cast<size_t>(got));
    close(pipe);
    return text;
}

}  // namespace vextrel::testing
