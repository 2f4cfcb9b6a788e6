// Creating the folder of the trace files, level by level.
#pragma once

namespace vextrel {

// Creates the folder level by level: the part before each path separator (the platform's own,
// '\\' on Windows, '/' on Linux), left to right, then the whole folder unless it ends in a
// separator. Levels that exist, as folders or as files, are left alone; failures are ignored.
void EnsureFolder(const char* folder);

}  // namespace vextrel
