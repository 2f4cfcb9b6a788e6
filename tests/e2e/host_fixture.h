// The end-to-end fixture: a fresh folder holding the host, the shared library and configuration
// files; the host runs as a real process and the tests read the trace files it leaves.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "tests/support/environment.h"
#include "tests/support/process.h"

namespace fs = std::filesystem;
using vextrel::testing::RunProcess;
using vextrel::testing::ScopedEnvironment;

namespace e2e {

inline const char* const kClosingLine = "\n\n *** Vextrel Log Complete ***\n";

// Reads a file the library wrote in text mode (CR LF line ends on Windows) with LF line ends.
inline std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    std::string content = text.str();
    content.erase(std::remove(content.begin(), content.end(), '\r'), content.end());
    return content;
}

inline size_t Count(const std::string& text, const std::string& what) {
    size_t count = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) ++count;
    return count;
}

class HostProcess : public ::testing::Test {
protected:
    // The folder's name holds the test's name and this process's id: other builds of the project, or
    // other checkouts on the machine, may run the same test at the same moment.
    void SetUp() override {
        static std::atomic<int> serial{0};
        const std::string name = std::string("vextrel-e2e-") +
                                 ::testing::UnitTest::GetInstance()->current_test_info()->name() + "-" +
                                 std::to_string(vextrel::platform::CurrentProcessId()) + "-" + std::to_string(serial++);
        folder_ = (fs::temp_directory_path() / name).make_preferred();
        fs::remove_all(folder_);
        fs::create_directories(folder_);
        host_ = folder_ / fs::path(VEXTREL_E2E_HOST).filename();
        fs::copy_file(VEXTREL_E2E_HOST, host_);
        fs::copy_file(VEXTREL_E2E_LIBRARY, folder_ / fs::path(VEXTREL_E2E_LIBRARY).filename());
        traces_ = (folder_ / "traces").make_preferred();
    }
    void TearDown() override {
        if (!HasFailure()) fs::remove_all(folder_);
    }

    // Writes a configuration file beside the host.
    void WriteConfig(const std::string& name, const std::string& text) {
        std::ofstream(folder_ / name, std::ios::binary) << text;
    }

    std::string TraceFolderLine() const { return "filetracingdir=" + traces_.string() + "\n"; }

    // A client's configuration text for the action line ('|' for newlines): the trace folder, and
    // VXF_ENGINE_CORE from VXP_LOW up to the client tracer.
    std::string ClientText() const { return "filetracingdir=" + traces_.string() + "|VXF_ENGINE_CORE=S@VXP_LOW"; }

    std::string Run(const std::vector<std::string>& actions) {
        std::string output;
        const int code = RunProcess(host_.string(), actions, folder_.string(), &output);
        EXPECT_EQ(code, 0) << output;
        output.erase(std::remove(output.begin(), output.end(), '\r'), output.end());
        return output;
    }

    // The trace files in the trace folder, oldest name first.
    std::vector<fs::path> TraceFiles() const {
        std::vector<fs::path> files;
        if (!fs::exists(traces_)) return files;
        for (const auto& entry : fs::directory_iterator(traces_)) files.push_back(entry.path());
        std::sort(files.begin(), files.end());
        return files;
    }

    // The texts of the trace files, oldest name first: expects exactly `count` files and returns
    // `count` texts ("" for a file that is not there).
    std::vector<std::string> TraceTexts(size_t count) const {
        const std::vector<fs::path> files = TraceFiles();
        EXPECT_EQ(files.size(), count) << traces_;
        std::vector<std::string> texts(count);
        for (size_t n = 0; n < count && n < files.size(); ++n) texts[n] = ReadFile(files[n]);
        return texts;
    }
    std::string TraceText() const { return TraceTexts(1)[0]; }

    // The milliseconds the host printed for a timed action ("ACTION took=MS"); INT_MAX, and a
    // failure, when it printed none.
    static int Took(const std::string& output, const std::string& action) {
        std::smatch took;
        if (std::regex_search(output, took, std::regex(action + " took=(\\d+)"))) return std::stoi(took[1]);
        ADD_FAILURE() << "no time for " << action << " in:\n" << output;
        return INT_MAX;
    }

    // The library replaces the user's login name in trace files; a name that occurs in no path
    // keeps the paths the tests look for intact (the temporary folder may lie in the user's home).
    ScopedEnvironment userName_{"USERNAME", "vextrel-e2e-user"};
    ScopedEnvironment user_{"USER", "vextrel-e2e-user"};
    fs::path folder_;
    fs::path host_;
    fs::path traces_;
};

}  // namespace e2e

using e2e::Count;
using e2e::HostProcess;
using e2e::kClosingLine;
using e2e::ReadFile;
