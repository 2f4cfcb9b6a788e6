// Shared pieces of the configuration tests: a manager per test, the default trace folder "dflt",
// the example facility and a temporary folder for configuration files.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "config/config_parser.h"
#include "core/facility.h"
#include "core/manager.h"
#include "host/host_info.h"
#include "output_fixture.h"

namespace vextrel::testing {

// Registers VXF_EXAMPLE once, at an id that no built-in facility takes, and returns the id.
inline uint32_t ExampleFacility() {
    RegisterBuiltinFacilities();
    RegisterFacility("VXF_EXAMPLE", 4500);
    EXPECT_STREQ(FacilityNameOf(4500), "VXF_EXAMPLE");
    return 4500;
}

// Whether `id` is a named facility below VXF_ALL.
inline bool IsNamed(uint32_t id) { return id < kFacilityAll && FacilityNameOf(id) != nullptr; }

class ConfigTest : public ::testing::Test {
protected:
    void SetUp() override { std::snprintf(Host().defaultTraceFolder, kTraceFolderCapacity, "dflt"); }
    void TearDown() override { delete manager; }
    TraceConfig* Parse(const std::string& text) {
        std::unique_ptr<TraceConfig> config =
            ParseConfigText(text.data(), static_cast<int32_t>(text.size()), ConfigContext{"dflt"});
        if (config != nullptr) AddConfig(manager, config.get());
        return config.release();
    }
    // The path of `name` in this test's own temporary folder.
    std::string PathOf(const std::string& name) { return folder_.Path(name); }
    // Writes `text` byte for byte into the file `name` of the temporary folder; returns its path.
    std::string Write(const std::string& name, const std::string& text) {
        std::ofstream(PathOf(name), std::ios::binary) << text;
        return PathOf(name);
    }
    // The entries of facility `id` in the console, file and client tracers.
    static std::string Entries(const TraceConfig* c, uint32_t id) {
        return std::to_string(c->console.Table().Get(id)) + " " + std::to_string(c->file.Table().Get(id)) + " " +
               std::to_string(c->client.Table().Get(id));
    }
    static std::string Name(const TraceConfig* c) {
        char name[kConfigNameCapacity];
        return c->name.Get(name), name;
    }

    CVextrelManager* manager = CVextrelManager::Create();

private:
    TempFolder folder_;
};

}  // namespace vextrel::testing
