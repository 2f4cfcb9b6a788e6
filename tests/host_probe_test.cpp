#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "host/host_info.h"
#include "host/host_paths.h"
#include "host/host_probe.h"
#include "host/os_name.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/host_facts.h"
#include "support/output_fixture.h"

namespace vextrel {
namespace {

using platform::CreateFolderResult;

// A buffer followed by guard bytes that must survive every write into it.
template <size_t Capacity>
struct GuardedBuffer {
    char text[Capacity];
    char guard[32] = "guard bytes past the buffer....";
    bool GuardIntact() const { return std::string(guard) == "guard bytes past the buffer...."; }
};

// Records every folder creation; the path `failingPath` fails, every other one is created.
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

// A code page in which bytes 0x81-0x9F start a two-byte character, as in Shift-JIS.
const char* StepDoubleByte(const char* character) {
    const auto byte = static_cast<unsigned char>(*character);
    if (byte == 0) return character;
    return byte >= 0x81 && byte <= 0x9F && character[1] != '\0' ? character + 2 : character + 1;
}

std::string Folder(const char* path, char separator, CharacterStepper step = StepSingleByte) {
    char folder[kHostPathCapacity];
    FolderOf(path, separator, step, folder, sizeof folder);
    return folder;
}

std::string FileName(const char* path, char separator, CharacterStepper step = StepSingleByte) {
    char name[kHostPathCapacity];
    FileNameOf(path, separator, step, name, sizeof name);
    return name;
}

TEST(HostPaths, FolderAndFileName) {
    EXPECT_EQ(Folder("C:\\Apps\\Host.exe", '\\'), "C:\\Apps\\");
    EXPECT_EQ(FileName("C:\\Apps\\Host.exe", '\\'), "Host.exe");
    EXPECT_EQ(Folder("/opt/a\\b", '/'), "/opt/");
    EXPECT_EQ(FileName("C:\\Apps\\", '\\'), "");
    EXPECT_EQ(Folder("Host.exe", '\\'), "");
    EXPECT_EQ(FileName("Host.exe", '\\'), "");

    // 0x95 0x5C is one character whose second byte equals the backslash.
    const char path[] = "C:\\Apps\\\x95\x5C.exe";
    EXPECT_EQ(Folder(path, '\\', StepDoubleByte), "C:\\Apps\\");
    EXPECT_EQ(FileName(path, '\\', StepDoubleByte), "\x95\x5C.exe");
    EXPECT_EQ(Folder(path, '\\'), "C:\\Apps\\\x95\x5C");
    // A lead byte just before the terminator ends the walk without reading past it.
    EXPECT_EQ(Folder("C:\\Apps\\\x95", '\\', StepDoubleByte), "C:\\Apps\\");
}

TEST(HostPaths, ConfigurationPaths) {
    ConfigurationPaths paths;
    ConfigurationPathsOf("C:\\Apps\\Host.exe", "C:\\Apps\\", paths);
    EXPECT_STREQ(paths.first, "C:\\Apps\\Host.exe.vextrel");
    EXPECT_STREQ(paths.second, "C:\\Apps\\Host.vextrel");
    EXPECT_STREQ(paths.third, "C:\\Apps\\config.vextrel");

    // Only a lower-case ".exe" is cut.
    ConfigurationPathsOf("C:\\Apps\\HOST.EXE", "C:\\Apps\\", paths);
    EXPECT_STREQ(paths.first, "C:\\Apps\\HOST.EXE.vextrel");
    EXPECT_STREQ(paths.second, "C:\\Apps\\HOST.EXE.vextrel");
    EXPECT_STREQ(paths.third, "C:\\Apps\\config.vextrel");

    ConfigurationPathsOf("", "", paths);
    EXPECT_STREQ(paths.first, ".vextrel");
    EXPECT_STREQ(paths.second, ".vextrel");
    EXPECT_STREQ(paths.third, "config.vextrel");
}

TEST(HostPaths, PathsThatDoNotFitAreLeftEmptyWithoutOverflow) {
    const std::string folder = "C:\\" + std::string(200, 'f') + "\\";
    // 251 characters + ".vextrel" is the longest path that still fits 260 bytes.
    const std::string fits = folder + std::string(251 - folder.size() - 4, 'n') + ".exe";
    const std::string tooLong = fits.substr(0, folder.size()) + "n" + fits.substr(folder.size());
    ConfigurationPaths paths;
    ConfigurationPathsOf(fits.c_str(), folder.c_str(), paths);
    EXPECT_EQ(std::string(paths.first), fits + ".vextrel");
    ConfigurationPathsOf(tooLong.c_str(), folder.c_str(), paths);
    EXPECT_STREQ(paths.first, "");
    EXPECT_EQ(std::string(paths.second), tooLong.substr(0, tooLong.size() - 4) + ".vextrel");

    const std::string longFolder = "C:\\" + std::string(250, 'f') + "\\";
    ConfigurationPathsOf((longFolder + "a.exe").c_str(), longFolder.c_str(), paths);
    EXPECT_STREQ(paths.second, "");
    EXPECT_STREQ(paths.third, "");

    const std::string path = "/" + std::string(600, 'd') + "/" + std::string(600, 'n');
    GuardedBuffer<kHostPathCapacity> folderBuffer;
    FolderOf(path.c_str(), '/', StepSingleByte, folderBuffer.text, sizeof folderBuffer.text);
    EXPECT_STREQ(folderBuffer.text, "");
    EXPECT_TRUE(folderBuffer.GuardIntact());
    GuardedBuffer<kHostPathCapacity> name;
    FileNameOf(path.c_str(), '/', StepSingleByte, name.text, sizeof name.text);
    EXPECT_STREQ(name.text, "");
    EXPECT_TRUE(name.GuardIntact());
}

TEST(HostPaths, DefaultTraceFolderUnderTheBaseOrNextToTheExecutable) {
    char folder[kTraceFolderCapacity];
    FolderCreationLog withBase;
    DefaultTraceFolderOf("C:\\Users\\u\\AppData\\Local", "C:\\Apps\\", '\\', withBase.Creator(), folder);
    EXPECT_STREQ(folder, "C:\\Users\\u\\AppData\\Local\\Zelmar\\Logs");
    EXPECT_EQ(withBase.created, (std::vector<std::string>{"C:\\Users\\u\\AppData\\Local\\Zelmar",
                                                          "C:\\Users\\u\\AppData\\Local\\Zelmar\\Logs"}));

    FolderCreationLog withoutBase;
    DefaultTraceFolderOf(nullptr, "C:\\Apps\\", '\\', withoutBase.Creator(), folder);
    EXPECT_STREQ(folder, "C:\\Apps\\Logs");
    EXPECT_EQ(withoutBase.created, std::vector<std::string>{"C:\\Apps\\Logs"});

    // When the vendor folder cannot be created the executable's folder is used.
    FolderCreationLog failing;
    failing.failingPath = "/home/u/.local/state/Zelmar";
    DefaultTraceFolderOf("/home/u/.local/state", "/opt/apps/", '/', failing.Creator(), folder);
    EXPECT_STREQ(folder, "/opt/apps/Logs");
    EXPECT_EQ(failing.created, (std::vector<std::string>{"/home/u/.local/state/Zelmar", "/opt/apps/Logs"}));

    // An existing vendor folder is used as it is.
    DefaultTraceFolderOf("/s", "/opt/", '/', [](const char*) { return CreateFolderResult::kAlreadyExists; }, folder);
    EXPECT_STREQ(folder, "/s/Zelmar/Logs");
}

TEST(HostPaths, UserBaseFolderFromTheEnvironment) {
    char base[kTraceFolderCapacity];
    EXPECT_EQ(UserBaseFolderOf({"C:\\Users\\u\\AppData\\Local", nullptr, nullptr}, base), UserBaseFolder::kLocalAppData);
    EXPECT_STREQ(base, "C:\\Users\\u\\AppData\\Local");
    EXPECT_EQ(UserBaseFolderOf({nullptr, "/var/state", "/home/u"}, base), UserBaseFolder::kStateHome);
    EXPECT_STREQ(base, "/var/state");
    // A relative XDG_STATE_HOME is ignored.
    EXPECT_EQ(UserBaseFolderOf({nullptr, "state", "/home/u"}, base), UserBaseFolder::kStateHome);
    EXPECT_STREQ(base, "/home/u/.local/state");
    EXPECT_EQ(UserBaseFolderOf({nullptr, nullptr, ""}, base), UserBaseFolder::kNone);

    // The longest base still leaves room for "/Zelmar/Logs" and the terminator; one more byte is rejected.
    const std::string longest = "/" + std::string(1010, 's');
    EXPECT_EQ(UserBaseFolderOf({nullptr, longest.c_str(), nullptr}, base), UserBaseFolder::kStateHome);
    GuardedBuffer<kTraceFolderCapacity> folder;
    FolderCreationLog log;
    DefaultTraceFolderOf(base, "/opt/", '/', log.Creator(), folder.text);
    EXPECT_EQ(std::string(folder.text), longest + "/Zelmar/Logs");
    EXPECT_TRUE(folder.GuardIntact());
    const std::string tooLong = longest + "s";
    EXPECT_EQ(UserBaseFolderOf({nullptr, tooLong.c_str(), nullptr}, base), UserBaseFolder::kNone);
    EXPECT_EQ(UserBaseFolderOf({tooLong.c_str(), nullptr, nullptr}, base), UserBaseFolder::kNone);
    EXPECT_EQ(UserBaseFolderOf({nullptr, nullptr, std::string(1020, 'h').c_str()}, base), UserBaseFolder::kNone);
}

// The answer of VerifyVersionInfoW on a system of the given version: fields compared in order.
VersionAtLeastQuery SystemOfVersion(uint32_t major, uint32_t minor, uint32_t servicePack) {
    return [=](uint32_t wantedMajor, uint32_t wantedMinor, uint32_t wantedServicePack) {
        if (major != wantedMajor) return major > wantedMajor;
        if (minor != wantedMinor) return minor > wantedMinor;
        return servicePack >= wantedServicePack;
    };
}

std::string NameOf(const VersionAtLeastQuery& atLeast, platform::KernelVersion kernel = {}) {
    const char* name = WindowsNameFromVersionTests(atLeast, kernel);
    return name != nullptr ? name : "(none)";
}

TEST(OperatingSystemName, VersionLadderAndKernelBuild) {
    // The boundaries of the version ladder: the first and last service pack of a line, a later
    // minor version falling back to the highest test it passes, and a system older than every test.
    EXPECT_EQ(NameOf(SystemOfVersion(5, 1, 0)), "WindowsXP");
    EXPECT_EQ(NameOf(SystemOfVersion(5, 1, 3)), "WindowsXPSP3");
    EXPECT_EQ(NameOf(SystemOfVersion(5, 2, 2)), "WindowsXPSP3");
    EXPECT_EQ(NameOf(SystemOfVersion(6, 0, 2)), "WindowsVistaSP2");
    EXPECT_EQ(NameOf(SystemOfVersion(6, 3, 0)), "Windows8SP1");
    EXPECT_EQ(NameOf(SystemOfVersion(5, 0, 4)), "(none)");
    EXPECT_EQ(NameOf(nullptr), "(none)");

    // Verification stays at 6.2 without a manifest; the kernel tells 10 from 11.
    EXPECT_EQ(NameOf(SystemOfVersion(6, 2, 0), {true, 10, 0, 21999}), "Windows10");
    EXPECT_EQ(NameOf(SystemOfVersion(6, 2, 0), {true, 10, 0, 22000}), "Windows11OrGreater");
    EXPECT_EQ(NameOf(SystemOfVersion(6, 2, 0), {false, 10, 0, 22000}), "Windows8");
    EXPECT_EQ(NameOf(SystemOfVersion(6, 1, 1), {true, 6, 1, 7601}), "Windows7SP1");
}

HostFacts WindowsHostFacts(const char* executablePath) {
    HostFacts facts;
    facts.counterFrequency = 10000000;
    facts.processorMegahertz = 2600.0;
    facts.executablePath = executablePath;
    facts.separator = '\\';
    facts.versionAtLeast = SystemOfVersion(6, 2, 0);
    facts.kernel = {true, 10, 0, 22631};
    facts.physicalMemoryBytes = 17179869184ull;
    facts.processorCount = 8;
    facts.environment.localAppData = "C:\\Users\\u\\AppData\\Local";
    return facts;
}

TEST(HostFactsFill, FillsEveryFieldFromTheFacts) {
    FolderCreationLog log;
    bool stateBaseCreated = false;
    const FolderOperations folders{log.Creator(), [&](const char*) { return stateBaseCreated = true; }};
    HostInfo info;
    FillHostInfo(WindowsHostFacts("C:\\Apps\\Host.exe"), folders, info);
    EXPECT_DOUBLE_EQ(info.processorSpeedGHz, 2.6);
    EXPECT_STREQ(info.osName, "Windows11OrGreater");
    EXPECT_EQ(info.physicalMemoryMiB, 16384u);
    EXPECT_STREQ(info.executableFileName, "Host.exe");
    EXPECT_STREQ(info.executableFolder, "C:\\Apps\\");
    EXPECT_STREQ(info.configPath2, "C:\\Apps\\Host.vextrel");
    EXPECT_STREQ(info.defaultTraceFolder, "C:\\Users\\u\\AppData\\Local\\Zelmar\\Logs");
    // LOCALAPPDATA is used as it is; only an XDG state base is created with its parents.
    EXPECT_FALSE(stateBaseCreated);
}

TEST(HostFactsFill, UnknownFactsKeepTheValuesOfAnUnprobedHost) {
    FolderCreationLog log;
    std::vector<std::string> bases;
    const FolderOperations folders{log.Creator(), [&](const char* path) {
                                       bases.emplace_back(path);
                                       return false;
                                   }};
    HostFacts facts;
    facts.separator = '/';
    facts.environment = {nullptr, nullptr, "/home/u"};
    const std::string overlong = "/opt/" + std::string(300, 'n');
    facts.executablePath = overlong.c_str();
    HostInfo info;
    FillHostInfo(facts, folders, info);
    const HostInfo unprobed;
    EXPECT_TRUE(info.probed);
    EXPECT_EQ(info.counterFrequency, unprobed.counterFrequency);
    EXPECT_EQ(info.processorSpeedGHz, unprobed.processorSpeedGHz);
    EXPECT_STREQ(info.osName, "unknown");
    EXPECT_EQ(info.processorCount, unprobed.processorCount);
    EXPECT_EQ(info.physicalMemoryMiB, unprobed.physicalMemoryMiB);
    // The over-long executable path is rejected with everything derived from it: the configuration
    // paths are relative to the working directory, as for an empty path.
    EXPECT_STREQ(info.executablePath, "");
    EXPECT_STREQ(info.executableFileName, "");
    EXPECT_STREQ(info.configPath1, ".vextrel");
    // The state base could not be created: the trace folder falls back to the (empty) executable folder.
    EXPECT_EQ(bases, std::vector<std::string>{"/home/u/.local/state"});
    EXPECT_STREQ(info.defaultTraceFolder, "Logs");

    // Linux names itself; the Windows tests are not consulted.
    std::snprintf(facts.systemName, sizeof facts.systemName, "Linux 6.1.0-18-amd64");
    facts.versionAtLeast = SystemOfVersion(6, 1, 1);
    FillHostInfo(facts, folders, info);
    EXPECT_STREQ(info.osName, "Linux 6.1.0-18-amd64");
}

TEST(HostFactsFill, CreatesTheFoldersOnDisk) {
    const testing::TempFolder temporary;
    const std::string base = temporary.Path();
    const std::string executable = base + platform::kPathSeparator + "Host.exe";
    HostFacts facts = WindowsHostFacts(executable.c_str());
    facts.separator = platform::kPathSeparator;
    facts.environment = {base.c_str(), nullptr, nullptr};
    HostInfo info;
    FillHostInfo(facts, SystemFolderOperations(), info);
    const std::string vendor = base + platform::kPathSeparator + "Zelmar";
    EXPECT_EQ(std::string(info.defaultTraceFolder), vendor + platform::kPathSeparator + "Logs");
    EXPECT_TRUE(platform::PathExists(vendor.c_str()));
    EXPECT_TRUE(platform::PathExists(info.defaultTraceFolder));

    facts.environment = {};
    FillHostInfo(facts, SystemFolderOperations(), info);
    EXPECT_EQ(std::string(info.defaultTraceFolder), base + platform::kPathSeparator + "Logs");
    EXPECT_TRUE(platform::PathExists(info.defaultTraceFolder));

    const std::filesystem::path nested = std::filesystem::path(base) / "a" / "b" / "state";
    EXPECT_TRUE(platform::CreatePrivateFolderWithParents(nested.string().c_str()));
    EXPECT_TRUE(platform::PathExists(nested.string().c_str()));
    EXPECT_TRUE(platform::CreatePrivateFolderWithParents(nested.string().c_str()));
    if (platform::kPathSeparator == '/') {
        const auto permissions = std::filesystem::status(std::filesystem::path(base) / "a").permissions();
        EXPECT_EQ(permissions & std::filesystem::perms::all, std::filesystem::perms::owner_all);
    }
    // A file in the way is not a folder.
    const std::string file = temporary.Path("file");
    std::FILE* created = std::fopen(file.c_str(), "w");
    ASSERT_NE(created, nullptr);
    std::fclose(created);
    EXPECT_FALSE(platform::CreatePrivateFolderWithParents(file.c_str()));
}

TEST(HostProbe, RealValuesAreSaneTheProbeRunsOnceAndCanBeRepeatedForAnExecutable) {
    const HostInfo saved = Host();
    ResetHostInfo();
    ProbeHostEnvironment();
    const HostInfo& host = Host();
    EXPECT_TRUE(host.probed);
    EXPECT_NE(host.executableFileName[0], '\0');
    EXPECT_EQ(std::string(host.executableFolder) + host.executableFileName, host.executablePath);
    EXPECT_EQ(std::string(host.configPath1), std::string(host.executablePath) + ".vextrel");
    EXPECT_TRUE(platform::PathExists(host.defaultTraceFolder));
    EXPECT_GT(host.counterFrequency, 1.0);
    EXPECT_GE(host.processorCount, 1);
    EXPECT_GT(host.physicalMemoryMiB, 1u);
    const std::string os = host.osName;
    EXPECT_EQ(os.rfind(platform::kPathSeparator == '\\' ? "Windows" : "Linux ", 0), 0u) << os;

    // A second probe changes nothing, even a field changed in between.
    std::snprintf(Host().osName, sizeof Host().osName, "marker");
    ProbeHostEnvironment();
    EXPECT_STREQ(Host().osName, "marker");

    // A probe for a chosen executable fills the facts again.
    const testing::TempFolder temporary;
    const std::string folder = temporary.Path() + platform::kPathSeparator;
    ProbeHostEnvironmentFor((folder + "Host.exe").c_str());
    EXPECT_EQ(std::string(Host().executableFolder), folder);
    EXPECT_EQ(std::string(Host().configPath2), folder + "Host.vextrel");
    EXPECT_EQ(std::string(Host().configPath3), folder + "config.vextrel");
    ProbeHostEnvironmentFor((folder + "Other").c_str());
    EXPECT_STREQ(Host().executableFileName, "Other");
    ResetHostInfo();
    EXPECT_FALSE(Host().probed);
    EXPECT_STREQ(Host().executablePath, "");
    Host() = saved;
}

}  // namespace
}  // namespace vextrel
