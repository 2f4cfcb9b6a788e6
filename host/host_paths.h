// The paths the library derives from the host executable's path and the user's environment: the
// executable's folder and file name, the three configuration file paths and the default trace
// folder. Pure functions of their inputs, written for either separator.
#pragma once

#include <cstddef>
#include <functional>

#include "host/host_info.h"
#include "platform/files.h"
#include "platform/host_facts.h"

namespace vextrel {

// Steps from one character of a text to the next in the process's code page; stays on the
// terminator.
using CharacterStepper = const char* (*)(const char* character);

// Steps one byte: the stepping of single-byte code pages, and of UTF-8, where a separator byte is
// never part of a longer character.
const char* StepSingleByte(const char* character);

// Writes into `folder` the beginning of `path` up to and including its last `separator`,
// walking the path with `step` so that the second byte of a double-byte character is never taken
// for a separator. Empty when the path has no separator. A folder that does not fit is left empty.
void FolderOf(const char* path, char separator, CharacterStepper step, char* folder, size_t capacity);

// Writes into `fileName` the part of `path` after its folder (see FolderOf), found with the same
// character stepping; empty when the path has no separator or the name does not fit.
void FileNameOf(const char* path, char separator, CharacterStepper step, char* fileName, size_t capacity);

// The three configuration file paths of an executable, in the order they are read.
struct ConfigurationPaths {
    char first[kHostPathCapacity] = {};   // executable path + ".vextrel"
    char second[kHostPathCapacity] = {};  // without a final lower-case ".exe", + ".vextrel"
    char third[kHostPathCapacity] = {};   // executable folder + "config.vextrel"
};

// Derives the configuration paths from the executable path and its folder. A path that would not
// fit its 260-byte buffer is left empty rather than cut, since a cut path names another file, and
// the loader skips empty paths; an empty executable path gives ".vextrel", ".vextrel" and
// "config.vextrel", relative to the working directory like any other relative path.
void ConfigurationPathsOf(const char* executablePath, const char* executableFolder, ConfigurationPaths& paths);

// Where the per-user base folder of the default trace folder came from.
enum class UserBaseFolder {
    kNone,          // nothing usable: the trace folder falls back to the executable's folder
    kLocalAppData,  // LOCALAPPDATA, used as it is (Windows always has that folder)
    kStateHome,     // XDG_STATE_HOME or HOME/.local/state, to be created when missing
};

// Chooses the per-user base folder: LOCALAPPDATA when set; else XDG_STATE_HOME when it is an
// absolute path; else HOME followed by "/.local/state" when HOME is set and not empty. A value too
// long to leave room for the trace folder's own levels ("/Zelmar/Logs") within 1024 bytes is
// rejected as if it were not set, so the trace folder never lands in a cut path.
UserBaseFolder UserBaseFolderOf(const platform::UserFolderEnvironment& environment, char (&base)[kTraceFolderCapacity]);

// Creates one folder level and says how it went.
using FolderCreator = std::function<platform::CreateFolderResult(const char* path)>;

// Forms and creates the default trace folder: when `base` is given (not null), base + separator +
// "Zelmar" is created and, when created or already there, separator + "Logs" is appended;
// otherwise (no base, or that creation failed) the folder is the executable folder + "Logs". The
// final folder is created and the result ignored. Ends without a separator.
void DefaultTraceFolderOf(const char* base, const char* executableFolder, char separator,
                          const FolderCreator& createFolder, char (&folder)[kTraceFolderCapacity]);

}  // namespace vextrel
