// Shared pieces of the configuration tests: a manager per test, a chosen default trace folder, the
// example facility, and a temporary folder for configuration files.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>

#include "config/config_parser.h"
#include "core/facility.h"
#include "core/manager.h"
#include "host/host_info.h"
#include "platform/files.h"

namespace vextrel::testing {

// The facility the worked examples use. Its id is one that no built-in facility takes.
constexpr uint32_t kExampleFacility = 4500;

// Registers VXF_EXAMPLE once per process and returns its id.
inline uint32_t ExampleFacility() {
    RegisterBuiltinFacilities();
    if (FacilityNameOf(kExampleFacility) == nullptr) RegisterFacility("VXF_EXAMPLE", kExampleFacility);
    EXPECT_STREQ(FacilityNameOf(kExampleFacility), "VXF_EXAMPLE");
    return kExampleFacility;
}

// Calls `check` for every id below VXF_ALL that has a name, with the name-less ids skipped.
template <typename Check>
void ForEachNamedId(Check check) {
    for (uint32_t id = 0; id < kFacilityAll; ++id) {
        if (FacilityNameOf(id) != nullptr) check(id);
    }
}

// A folder of its own under the system's temporary folder, removed with everything in it at the end.
class TemporaryFolder {
public:
    TemporaryFolder() {
        static std::atomic<uint32_t> serial{0};
        const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
        path_ = std::filesystem::temp_directory_path() /
                ("vextrel_config_" + std::to_string(stamp) + "_" + std::to_string(serial++));
        std::filesystem::create_directories(path_);
    }
    ~TemporaryFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;

    // The folder followed by the platform separator and `name`.
    std::string PathOf(const std::string& name) const { return path_.string() + platform::kPathSeparator + name; }

    // Writes `text` byte for byte into the file `name` and returns its path.
    std::string Write(const std::string& name, const std::string& text) const {
        const std::string path = PathOf(name);
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }

private:
    std::filesystem::path path_;
};

// A fresh manager per test and a default trace folder chosen by the test, restored afterwards.
class ConfigTest : public ::testing::Test {
protected:
    void SetUp() override {
        savedDefaultFolder_ = Host().defaultTraceFolder;
        SetDefaultTraceFolder(kDefaultFolder);
        manager = CVextrelManager::Create();
        ASSERT_NE(manager, nullptr);
    }
    void TearDown() override {
        delete manager;
        SetDefaultTraceFolder(savedDefaultFolder_);
    }

    static void SetDefaultTraceFolder(const std::string& folder) {
        std::snprintf(Host().defaultTraceFolder, sizeof Host().defaultTraceFolder, "%s", folder.c_str());
    }

    // Parses the whole of `text` into `target`.
    static TraceConfig* ParseInto(const std::string& text, CVextrelManager* target) {
        return ParseConfigText(text.data(), static_cast<int32_t>(text.size()), target);
    }

    static constexpr const char* kDefaultFolder = "default-trace-folder";
    CVextrelManager* manager = nullptr;

private:
    std::string savedDefaultFolder_;
};

}  // namespace vextrel::testing
