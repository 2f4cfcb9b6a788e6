#include "host/host_paths.h"

#include <cstring>
#include <initializer_list>
#include <string_view>

namespace vextrel {
namespace {

constexpr char kConfigExtension[] = ".vextrel";
constexpr char kConfigFileName[] = "config.vextrel";
constexpr char kVendorFolder[] = "Zelmar";
constexpr char kLogsFolder[] = "Logs";

// Writes the parts one after another into `out` when they fit with the terminator; otherwise
// leaves `out` empty. Returns whether they fit.
bool JoinIfFits(char* out, size_t capacity, std::initializer_list<std::string_view> parts) {
    size_t total = 0;
    for (std::string_view part : parts) total += part.size();
    if (capacity == 0) return false;
    if (total >= capacity) {
        out[0] = '\0';
        return false;
    }
    char* end = out;
    for (std::string_view part : parts) {
        std::memcpy(end, part.data(), part.size());
        end += part.size();
    }
    *end = '\0';
    return true;
}

// The length of the folder part of `path`: the position just past its last separator, found by
// stepping whole characters, or 0 without a separator.
size_t FolderLength(const char* path, char separator, CharacterStepper step) {
    const char* end = path + std::strlen(path);
    size_t folderLength = 0;
    for (const char* character = path; character < end;) {
        if (*character == separator) folderLength = static_cast<size_t>(character - path) + 1;
        const char* next = step(character);
        // A stepper that does not move would loop for ever; one that jumps past the terminator
        // ends the walk.
        character = next > character ? next : character + 1;
    }
    return folderLength;
}

}  // namespace

const char* StepSingleByte(const char* character) { return *character == '\0' ? character : character + 1; }

void FolderOf(const char* path, char separator, CharacterStepper step, char* folder, size_t capacity) {
    JoinIfFits(folder, capacity, {std::string_view(path, FolderLength(path, separator, step))});
}

void FileNameOf(const char* path, char separator, CharacterStepper step, char* fileName, size_t capacity) {
    const size_t folderLength = FolderLength(path, separator, step);
    if (folderLength == 0) {
        JoinIfFits(fileName, capacity, {});
        return;
    }
    JoinIfFits(fileName, capacity, {std::string_view(path + folderLength)});
}

void ConfigurationPathsOf(const char* executablePath, const char* executableFolder, ConfigurationPaths& paths) {
    const std::string_view executable(executablePath);
    JoinIfFits(paths.first, sizeof paths.first, {executable, kConfigExtension});
    const bool endsInExe = executable.size() >= 4 && executable.substr(executable.size() - 4) == ".exe";
    const std::string_view stem = endsInExe ? executable.substr(0, executable.size() - 4) : executable;
    JoinIfFits(paths.second, sizeof paths.second, {stem, kConfigExtension});
    JoinIfFits(paths.third, sizeof paths.third, {executableFolder, kConfigFileName});
}

UserBaseFolder UserBaseFolderOf(const platform::UserFolderEnvironment& environment,
                                char (&base)[kTraceFolderCapacity]) {
    // Room for separator + "Zelmar" + separator + "Logs" and the terminator.
    constexpr size_t kCapacityForBase =
        kTraceFolderCapacity - (1 + sizeof kVendorFolder - 1 + 1 + sizeof kLogsFolder - 1);
    base[0] = '\0';
    if (environment.localAppData != nullptr) {
        return JoinIfFits(base, kCapacityForBase, {environment.localAppData}) ? UserBaseFolder::kLocalAppData
                                                                              : UserBaseFolder::kNone;
    }
    if (environment.xdgStateHome != nullptr && environment.xdgStateHome[0] == '/') {
        return JoinIfFits(base, kCapacityForBase, {environment.xdgStateHome}) ? UserBaseFolder::kStateHome
                                                                              : UserBaseFolder::kNone;
    }
    if (environment.home != nullptr && environment.home[0] != '\0') {
        return JoinIfFits(base, kCapacityForBase, {environment.home, "/.local/state"}) ? UserBaseFolder::kStateHome
                                                                                       : UserBaseFolder::kNone;
    }
    return UserBaseFolder::kNone;
}

void DefaultTraceFolderOf(const char* base, const char* executableFolder, char separator,
                          const FolderCreator& createFolder, char (&folder)[kTraceFolderCapacity]) {
    const std::string_view separatorText(&separator, 1);
    bool underBase = false;
    if (base != nullptr && JoinIfFits(folder, sizeof folder, {base, separatorText, kVendorFolder})) {
        const platform::CreateFolderResult created = createFolder(folder);
        underBase = created != platform::CreateFolderResult::kFailed &&
                    JoinIfFits(folder, sizeof folder, {base, separatorText, kVendorFolder, separatorText, kLogsFolder});
    }
    if (!underBase) JoinIfFits(folder, sizeof folder, {executableFolder, kLogsFolder});
    if (folder[0] != '\0') createFolder(folder);
}

}  // namespace vextrel
