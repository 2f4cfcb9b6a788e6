#include "config/config_loader.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <unordered_set>

#include "config/config_parser.h"
#include "config/text_scan.h"
#include "platform/bounded_text.h"
#include "platform/files.h"

namespace vextrel {
namespace {

// Reads the whole file at a path into `text`; false when it cannot be opened or does not fit in a
// configuration path buffer (opening a cut path could read an unrelated file). `*tooLarge` tells
// that the file holds more than kMaxConfigFileBytes; `text` then holds nothing to read.
bool ReadConfigFile(const char* path, std::string* text, bool* tooLarge) {
    *tooLarge = false;
    if (std::strlen(path) >= kConfigFilePathCapacity) return false;
    if (!platform::ReadWholeFile(path, kMaxConfigFileBytes, text, tooLarge)) return false;
    if (*tooLarge) text->clear();
    return true;
}

// Writes `basePath` followed by `number` in decimal into `path`; an empty text when it does not fit.
void ContinuationPath(char (&path)[kConfigFilePathCapacity], const char* basePath, uint32_t number) {
    const int written = std::snprintf(path, sizeof path, "%s%u", basePath, number);
    if (written < 0 || static_cast<uint32_t>(written) >= sizeof path) path[0] = '\0';
}

// Reads the continuation `*number` of the base path, advancing the number; false when it is missing.
bool ReadContinuation(char (&path)[kConfigFilePathCapacity], const char* basePath, uint32_t* number, std::string* text,
                      bool* tooLarge) {
    ContinuationPath(path, basePath, (*number)++);
    return path[0] != '\0' && ReadConfigFile(path, text, tooLarge);
}

// Made on first use by the lifecycle thread; freed when the library is unloaded while the process
// runs.
std::vector<std::string>* g_loadedConfigFiles = nullptr;

// The entries of the list of configuration files read, for telling at once whether a path is
// listed: a series of thousands of files is read again on every restart and reload. It describes
// the list while `listed` equals the list's size; a change of the list that this file does not make
// leaves it to be made again from the list.
struct ListedFiles {
    std::unordered_set<std::string> paths;
    size_t listed = 0;
};
ListedFiles* g_listedFiles = nullptr;

// Lists `path` unless it is listed already.
void ListOnce(std::vector<std::string>& files, const char* path) {
    if (g_listedFiles == nullptr) g_listedFiles = new ListedFiles{{}, SIZE_MAX};
    ListedFiles& index = *g_listedFiles;
    if (index.listed != files.size()) {
        index.paths.clear();
        index.paths.insert(files.begin(), files.end());
        index.listed = files.size();
    }
    if (!index.paths.emplace(path).second) return;
    files.emplace_back(path);
    index.listed = files.size();
}

}  // namespace

std::vector<std::string>& LoadedConfigFiles() {
    if (g_loadedConfigFiles == nullptr) g_loadedConfigFiles = new std::vector<std::string>;
    return *g_loadedConfigFiles;
}

void ReleaseLoadedConfigFiles() {
    delete g_loadedConfigFiles;
    g_loadedConfigFiles = nullptr;
    delete g_listedFiles;
    g_listedFiles = nullptr;
}

void NoteIgnoredConfigFile(const char* path, const char* reason) {
    std::vector<std::string>& files = LoadedConfigFiles();
    for (auto entry = files.rbegin(); entry != files.rend(); ++entry) {
        if (*entry != path) continue;
        // The index follows the entry when it describes the list (thousands of files may be ignored).
        const bool indexed = g_listedFiles != nullptr && g_listedFiles->listed == files.size();
        if (indexed) g_listedFiles->paths.erase(*entry);
        *entry += std::string(kIgnoredMark) + reason + ")";
        if (indexed) g_listedFiles->paths.insert(*entry);
        return;
    }
}

OwnedConfigs LoadConfigFiles(const char* basePath, const ConfigContext& context, uint32_t maxContinuations) {
    OwnedConfigs configs;
    LoadConfigFilesEach(
        basePath, context, [&](std::unique_ptr<TraceConfig> config) { configs.push_back(std::move(config)); },
        maxContinuations);
    return configs;
}

void LoadConfigFilesEach(const char* basePath, const ConfigContext& context,
                         const std::function<void(std::unique_ptr<TraceConfig>)>& take, uint32_t maxContinuations) {
    LoadConfigDraftsEach(
        basePath, context,
        [&](const ConfigDraft& draft, const char* path) {
            std::unique_ptr<TraceConfig> config = BuildConfig(draft, context);
            if (config == nullptr) return;
            CopyTruncated(config->configPath, sizeof config->configPath, path);
            take(std::move(config));
        },
        maxContinuations);
}

void LoadConfigDraftsEach(const char* basePath, const ConfigContext& context,
                          const std::function<void(const ConfigDraft&, const char*)>& take, uint32_t maxContinuations) {
    if (basePath == nullptr || basePath[0] == '\0') return;
    // One buffer for every file of the series.
    std::string text;
    bool tooLarge = false;
    if (!ReadConfigFile(basePath, &text, &tooLarge)) return;
    char path[kConfigFilePathCapacity];
    CopyTruncated(path, sizeof path, basePath);
    uint32_t number = 1;
    for (uint32_t files = 0;; ++files) {
        if (files > maxContinuations) {
            LoadedConfigFiles().emplace_back(path);
            char reason[96];
            std::snprintf(reason, sizeof reason, "it and later continuations: a series reads at most %u files",
                          maxContinuations + 1);
            NoteIgnoredConfigFile(path, reason);
            break;
        }
        // Each file once, however often restarts and reloads read it again.
        ListOnce(LoadedConfigFiles(), path);
        if (context.diagnostics != nullptr) context.diagnostics->path = path;
        if (tooLarge) {
            char reason[64];
            std::snprintf(reason, sizeof reason, "larger than %zu MB", kMaxConfigFileBytes >> 20);
            NoteIgnoredConfigFile(path, reason);
        } else {
            take(ReadConfigText(text.data(), static_cast<int32_t>(text.size()), context), path);
        }
        if (!ReadContinuation(path, basePath, &number, &text, &tooLarge) &&
            !ReadContinuation(path, basePath, &number, &text, &tooLarge))
            break;
    }
}

}  // namespace vextrel
