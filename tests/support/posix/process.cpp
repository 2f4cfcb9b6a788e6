#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "../process.h"

namespace vextrel::testing {

int RunProcess(const std::string& program, const std::vector<std::string>& arguments,
               const std::string& workingFolder, std::string* output) {
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

}  // namespace vextrel::testing
