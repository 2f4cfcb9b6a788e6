// Reading a configuration path and its numbered continuations into configurations, and the process-wide
// list of every configuration file opened.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "config/config_parser.h"

namespace vextrel {

// Configuration paths and their numbered continuations are held in buffers of this many bytes.
constexpr uint32_t kConfigFilePathCapacity = 260;

// The path of every configuration file opened since the process started, in the order of its first
// opening, each once; the session header prints it. Created on first use and never destroyed (writer threads
// and the unload path may still read it after globals are gone); changed only by the thread that
// loads, restarts or reloads.
std::vector<std::string>& LoadedConfigFiles();

// What follows the path of a listed configuration file that was ignored, before the reason and ")".
constexpr const char* kIgnoredMark = " (ignored: ";

// Marks the latest listed entry of `path` as ignored, for `reason`.
void NoteIgnoredConfigFile(const char* path, const char* reason);

// Frees the list of configuration files read (the next read starts a new one), for an unload while
// the process keeps running.
void ReleaseLoadedConfigFiles();

// The configurations read from one path and its continuations, in reading order.
using OwnedConfigs = std::vector<std::unique_ptr<TraceConfig>>;

// Reads `basePath` and then `basePath` followed by 1, 2, ..., one configuration per
// file that enables a tracer, each with its path as config path. One missing number is skipped; two
// missing in a row end the series. Nothing is read when the base file cannot be opened. A path that
// does not fit in kConfigFilePathCapacity bytes counts as a file that cannot be opened, so an
// over-long base path reads nothing and a continuation number that no longer fits counts as missing.
// At most kMaxContinuationFiles continuations are read; the next one is listed as ignored and later
// ones are not looked for.
// (`maxContinuations` stands for kMaxContinuationFiles.)
OwnedConfigs LoadConfigFiles(const char* basePath, const ConfigContext& context,
                             uint32_t maxContinuations = kMaxContinuationFiles);

// LoadConfigDraftsEach handing each file's configuration (BuildConfig of its draft, with its path as
// config path; none for a file that enables no tracer) to `take` as soon as the file is read.
void LoadConfigFilesEach(const char* basePath, const ConfigContext& context,
                         const std::function<void(std::unique_ptr<TraceConfig>)>& take,
                         uint32_t maxContinuations = kMaxContinuationFiles);

// Reads `basePath` and its continuations as LoadConfigFiles does, handing what each file says and
// its path to `take` as soon as the file is read (the path is valid during the call only). The
// files are read whole, one after the other, into one buffer.
void LoadConfigDraftsEach(const char* basePath, const ConfigContext& context,
                          const std::function<void(const ConfigDraft&, const char*)>& take,
                          uint32_t maxContinuations = kMaxContinuationFiles);

}  // namespace vextrel
