#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
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
    const pid_t child = fork();
    if (child < 0) return -1;
    if (child == 0) {
        const int out = open(capture.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out < 0 || chdir(workingFolder.c_str()) != 0) _exit(126);
        dup2(out, 1);
        dup2(out, 2);
        execv(program.c_str(), argv.data());
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

}  // namespace vextrel::testing
