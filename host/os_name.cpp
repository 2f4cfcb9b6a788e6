#include "host/os_name.h"

namespace vextrel {
namespace {

struct VersionTest {
    uint32_t major;
    uint32_t minor;
    uint32_t servicePackMajor;
    const char* name;
};

constexpr VersionTest kVersionTests[] = {
    {5, 1, 0, "WindowsXP"},    {5, 1, 1, "WindowsXPSP1"},    {5, 1, 2, "WindowsXPSP2"},    {5, 1, 3, "WindowsXPSP3"},
    {6, 0, 0, "WindowsVista"}, {6, 0, 1, "WindowsVistaSP1"}, {6, 0, 2, "WindowsVistaSP2"}, {6, 1, 0, "Windows7"},
    {6, 1, 1, "Windows7SP1"},  {6, 2, 0, "Windows8"},        {6, 3, 0, "Windows8SP1"},
};

constexpr uint32_t kWindows10KernelMajor = 10;
constexpr uint32_t kWindows11FirstBuild = 22000;

}  // namespace

const char* WindowsNameFromVersionTests(const VersionAtLeastQuery& atLeast, const platform::KernelVersion& kernel) {
    const char* name = nullptr;
    if (atLeast) {
        for (const VersionTest& test : kVersionTests) {
            if (atLeast(test.major, test.minor, test.servicePackMajor)) name = test.name;
        }
    }
    if (kernel.available && kernel.major >= kWindows10KernelMajor) {
        name = "Windows10";
        if (kernel.build >= kWindows11FirstBuild) name = "Windows11OrGreater";
    }
    return name;
}

}  // namespace vextrel
