#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "host/host_info.h"
#include "host/host_paths.h"
#include "host/host_probe.h"
#include "host/os_name.h"
#include "platform/files.h"
#include "platform/host_facts.h"
#include "support/output_fixture.h"

namespace vextrel {
namespace {

using platform::CreateFolderResult;

// Records every folder creation; `failingPath` fails, every other one is created.
struct FolderCreationLog {
    std::vector<std::string> created;
    std::string failingPath;
    FolderCreator Creator() {
        return [this](const char* path) {
            created.emplace_back(path);
            return failingPath == path ? CreateFolderResult::kFailed : CreateFolderResult::kCreated;
        };
    }
};

// A code page in which bytes 0x81-0x9F start a two-byte character.
const char* StepDoubleByte(const char* c) {
    const auto byte = static_cast<unsigned char>(*c);
    if (byte == 0) return c;
    return byte >= 0x81 && byte <= 0x9F && c[1] != '\0' ? c + 2 : c + 1;
}

TEST(HostPaths, FolderFileNameAndConfigurationPaths) {
    char out[kHostPathCapacity];
    auto folder = [&](const char* path, CharacterStepper step) {
        return FolderOf(path, '\\', step, out, sizeof out), std::string(out);
    };
    auto name = [&](const char* path, CharacterStepper step) {
        return FileNameOf(path, '\\', step, out, sizeof out), std::string(out);
    };
    EXPECT_EQ(folder("C:\\Apps\\Host.exe", StepSingleByte), "C:\\Apps\\");
    EXPECT_EQ(name("C:\\Apps\\Host.exe", StepSingleByte), "Host.exe");
    // 0x95 0x5C is one character whose second byte equals the backslash.
    const char path[] = "C:\\Apps\\\x95\x5C.exe";
    EXPECT_EQ(folder(path, StepDoubleByte), "C:\\Apps\\");
    EXPECT_EQ(name(path, StepDoubleByte), "\x95\x5C.exe");
    EXPECT_EQ(folder("C:\\Apps\\\x95", StepDoubleByte), "C:\\Apps\\");
    const std::string huge = "/" + std::string(600, 'd') + "/" + std::string(600, 'n');
    EXPECT_EQ(folder(huge.c_str(), StepSingleByte), "");
    EXPECT_EQ(name(huge.c_str(), StepSingleByte), "");

    ConfigurationPaths paths;
    ConfigurationPathsOf("C:\\Apps\\Host.exe", "C:\\Apps\\", paths);
    EXPECT_EQ(std::string(paths.first) + "|" + paths.second + "|" + paths.third,
              "C:\\Apps\\Host.exe.vextrel|C:\\Apps\\Host.vextrel|C:\\Apps\\config.vextrel");
    ConfigurationPathsOf("", "", paths);  // no executable path: relative to the working directory
    EXPECT_EQ(std::string(paths.first) + "|" + paths.second + "|" + paths.third, ".vextrel|.vextrel|config.vextrel");
    // 251 characters + ".vextrel" is the longest path that fits 260 bytes.
    const std::string dir = "C:\\" + std::string(200, 'f') + "\\";
    const std::string fits = dir + std::string(251 - dir.size() - 4, 'n') + ".exe";
    ConfigurationPathsOf(fits.c_str(), dir.c_str(), paths);
    EXPECT_EQ(std::string(paths.first), fits + ".vextrel");
    ConfigurationPathsOf((fits + "x").c_str(), dir.c_str(), paths);
    EXPECT_STREQ(paths.first, "");
}

TEST(HostPaths, DefaultTraceFolderAndUserBase) {
    char folder[kTraceFolderCapacity];
    FolderCreationLog withBase;
    DefaultTraceFolderOf("C:\\Local", "C:\\Apps\\", '\\', withBase.Creator(), folder);
    EXPECT_STREQ(folder, "C:\\Local\\Zelmar\\Logs");
    EXPECT_EQ(withBase.created, (std::vector<std::string>{"C:\\Local\\Zelmar", "C:\\Local\\Zelmar\\Logs"}));
    // When the vendor folder cannot be created the executable's folder is used.
    FolderCreationLog failing;
    failing.failingPath = "/s/Zelmar";
    DefaultTraceFolderOf("/s", "/opt/apps/", '/', failing.Creator(), folder);
    EXPECT_STREQ(folder, "/opt/apps/Logs");
    EXPECT_EQ(failing.created, (std::vector<std::string>{"/s/Zelmar", "/opt/apps/Logs"}));

    char base[kTraceFolderCapacity];
    EXPECT_EQ(UserBaseFolderOf({"C:\\Local", nullptr, nullptr}, base), UserBaseFolder::kLocalAppData);
    EXPECT_EQ(UserBaseFolderOf({nullptr, "state", "/home/u"}, base), UserBaseFolder::kStateHome);  // relative: ignored
    EXPECT_STREQ(base, "/home/u/.local/state");
    // The longest base still leaves room for "/Zelmar/Logs"; one more byte is rejected.
    const std::string longest = "/" + std::string(1010, 's');
    EXPECT_EQ(UserBaseFolderOf({nullptr, longest.c_str(), nullptr}, base), UserBaseFolder::kStateHome);
    EXPECT_EQ(UserBaseFolderOf({nullptr, (longest + "s").c_str(), nullptr}, base), UserBaseFolder::kNone);
}

// The answer of the version verification on a system of the given version.
VersionAtLeastQuery SystemOfVersion(uint32_t major, uint32_t minor, uint32_t servicePack) {
    return [=](uint32_t wantedMajor, uint32_t wantedMinor, uint32_t wantedServicePack) {
        if (major != wantedMajor) return major > wantedMajor;
        if (minor != wantedMinor) return minor > wantedMinor;
        return servicePack >= wantedServicePack;
    };
}

TEST(HostFacts, OperatingSystemNameAndFill) {
    struct Case {
        VersionAtLeastQuery atLeast;
        platform::KernelVersion kernel;
        const char* name;
    };
    const Case cases[] = {{SystemOfVersion(5, 1, 3), {}, "WindowsXPSP3"},
                          {SystemOfVersion(5, 0, 4), {}, "(none)"},
                          {SystemOfVersion(6, 2, 0), {true, 10, 0, 21999}, "Windows10"},
                          {SystemOfVersion(6, 2, 0), {true, 10, 0, 22000}, "Windows11OrGreater"}};
    for (const Case& c : cases) {
        const char* name = WindowsNameFromVersionTests(c.atLeast, c.kernel);
        EXPECT_STREQ(name != nullptr ? name : "(none)", c.name);
    }

    const testing::TempFolder temporary;
    const std::string executable = temporary.Path("Host.exe");
    HostFacts facts;
    facts.processorMegahertz = 2600.0;
    facts.executablePath = executable.c_str();
    facts.separator = platform::kPathSeparator;
    facts.versionAtLeast = SystemOfVersion(6, 2, 0);
    facts.kernel = {true, 10, 0, 22631};
    facts.physicalMemoryBytes = 17179869184ull;
    const std::string base = temporary.Path();
    facts.environment = {base.c_str(), nullptr, nullptr};
    HostInfo info;
    FillHostInfo(facts, SystemFolderOperations(), info);
    const std::string folder = temporary.Path() + platform::kPathSeparator;
    EXPECT_DOUBLE_EQ(info.processorSpeedGHz, 2.6);
    EXPECT_STREQ(info.osName, "Windows11OrGreater");
    EXPECT_EQ(info.physicalMemoryMiB, 16384u);
    EXPECT_STREQ(info.executableFileName, "Host.exe");
    EXPECT_EQ(std::string(info.configPath2), folder + "Host.vextrel");
    EXPECT_EQ(std::string(info.defaultTraceFolder), folder + "Zelmar" + platform::kPathSeparator + "Logs");
    EXPECT_TRUE(platform::PathExists(info.defaultTraceFolder));
    // Linux names itself; an over-long executable path is rejected with everything derived from it, and
    // the configuration paths become relative to the working directory, as for an empty path.
    std::snprintf(facts.systemName, sizeof facts.systemName, "Linux 6.1.0");
    const std::string overlong = folder + std::string(300, 'n');
    facts.executablePath = overlong.c_str();
    FillHostInfo(facts, SystemFolderOperations(), info);
    EXPECT_STREQ(info.osName, "Linux 6.1.0");
    EXPECT_STREQ(info.executablePath, "");
    EXPECT_STREQ(info.configPath1, ".vextrel");
    const std::filesystem::path nested = std::filesystem::path(temporary.Path()) / "a" / "b";
    EXPECT_TRUE(platform::CreatePrivateFolderWithParents(nested.string().c_str()));
    EXPECT_TRUE(platform::CreatePrivateFolderWithParents(nested.string().c_str()));  // it exists: still true
    if (platform::kPathSeparator == '/') {
        const auto permissions = std::filesystem::status(nested.parent_path()).permissions();
        EXPECT_EQ(permissions & std::filesystem::perms::all, std::filesystem::perms::owner_all);
    }
}

}  // namespace
}  // namespace vextrel
