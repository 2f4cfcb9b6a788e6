#include "config/config_loader.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "config/config_parser.h"
#include "config/text_scan.h"
#include "platform/bounded_text.h"

namespace vextrel {
namespace {

// Opens a path for reading in text mode, or gives null when it cannot be opened or does not fit in
// a configuration path buffer (opening a cut path could read an unrelated file).
std::FILE* OpenConfigFile(const char* path) {
    if (std::strlen(path) >= kConfigFilePathCapacity) return nullptr;
    return std::fopen(path, "r");
}

// Writes `basePath` followed by `number` in decimal into `path`; an empty text when it does not fit.
void ContinuationPath(char (&path)[kConfigFilePathCapacity], const char* basePath, uint32_t number) {
    const int written = std::snprintf(path, sizeof path, "%s%u", basePath, number);
    if (written < 0 || static_cast<uint32_t>(written) >= sizeof path) path[0] = '\0';
}

// Opens the continuation `*number` of the base path, advancing the number; null when it is missing.
std::FILE* OpenContinuation(char (&path)[kConfigFilePathCapacity], const char* basePath, uint32_t* number) {
    ContinuationPath(path, basePath, (*number)++);
    return path[0] == '\0' ? nullptr : OpenConfigFile(path);
}

// Made on first use by the lifecycle thread; freed when the library is unloaded while the process
// runs.
std::vector<std::string>* g_loadedConfigFiles = nullptr;

}  // namespace

std::vector<std::string>& LoadedConfigFiles() {
    if (g_loadedConfigFiles == nullptr) g_loadedConfigFiles = new std::vector<std::string>;
    return *g_loadedConfigFiles;
}

void ReleaseLoadedConfigFiles() {
    delete g_loadedConfigFiles;
    g_loadedConfigFiles = nullptr;
}

OwnedConfigs LoadConfigFiles(const char* basePath, const ConfigContext& context) {
    OwnedConfigs configs;
    if (basePath == nullptr || basePath[0] == '\0') return configs;
    std::FILE* stream = OpenConfigFile(basePath);
    if (stream == nullptr) return configs;
    char path[kConfigFilePathCapacity];
    CopyTruncated(path, sizeof path, basePath);
    uint32_t number = 1;
    for (uint32_t files = 0; stream != nullptr; ++files) {
        if (files > kMaxContinuationFiles) {
            std::fclose(stream);
            break;
        }
        // Each file once, however often restarts and reloads read it again.
        std::vector<std::string>& loaded = LoadedConfigFiles();
        if (std::find(loaded.begin(), loaded.end(), path) == loaded.end()) loaded.emplace_back(path);
        if (context.diagnostics != nullptr) context.diagnostics->path = path;
        if (std::unique_ptr<TraceConfig> config = ParseConfigFile(stream, context)) {
            CopyTruncated(config->configPath, sizeof config->configPath, path);
            configs.push_back(std::move(config));
        }
        std::fclose(stream);
        stream = OpenContinuation(path, basePath, &number);
        if (stream == nullptr) stream = OpenContinuation(path, basePath, &number);
    }
    return configs;
}

}  // namespace vextrel
