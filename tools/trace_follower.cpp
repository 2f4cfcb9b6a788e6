#include "tools/trace_follower.h"

#include <fstream>
#include <system_error>
#include <utility>

#include "host/host_paths.h"
#include "platform/files.h"
#include "platform/host_facts.h"

namespace fs = std::filesystem;

namespace vextrel::tool {
namespace {

// How far back from a file's end the first lines shown are looked for, per line asked.
constexpr uint64_t kTailBytesPerLine = 4096;

}  // namespace

fs::path NewestTraceFile(const fs::path& folder) {
    fs::path newest;
    fs::file_time_type newestTime{};
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        if (!it->is_regular_file(error) || it->path().extension() != ".txt") continue;
        const fs::file_time_type time = it->last_write_time(error);
        if (error) continue;
        if (newest.empty() || time > newestTime || (time == newestTime && it->path().filename() > newest.filename())) {
            newest = it->path();
            newestTime = time;
        }
    }
    return newest;
}

std::string DefaultTraceFolder() {
    char base[kTraceFolderCapacity];
    const bool haveBase = UserBaseFolderOf(platform::ReadUserFolderEnvironment(), base) != UserBaseFolder::kNone;
    char folder[kTraceFolderCapacity];
    // Only the name is wanted here: report every level as present instead of creating it.
    DefaultTraceFolderOf(
        haveBase ? base : nullptr, "", platform::kPathSeparator,
        [](const char*) { return platform::CreateFolderResult::kAlreadyExists; }, folder);
    return folder;
}

TraceFollower::TraceFollower(fs::path folder, size_t tailLines) : folder_(std::move(folder)) {
    current_ = NewestTraceFile(folder_);
    if (current_.empty()) return;
    followed_.insert(current_);
    // The last lines are looked for in the file's end only, so a long file is not read whole.
    std::error_code error;
    const uint64_t size = fs::file_size(current_, error);
    const uint64_t window = kTailBytesPerLine * (tailLines + 1);
    identity_ = IdentityOf(current_);
    if (!error && size > window) offset_ = size - window;
    std::vector<std::string> lines;
    ReadNew(lines);
    if (offset_ != 0 && size > window && !lines.empty()) lines.erase(lines.begin());  // begun mid-line
    // Only the last lines are shown at the start; ReadNew has moved the offset past the rest.
    skipped_ = lines.size() > tailLines ? lines.size() - tailLines : 0;
    pending_.assign(lines.begin() + static_cast<std::ptrdiff_t>(skipped_), lines.end());
}

std::vector<std::string> TraceFollower::Poll() {
    std::vector<std::string> lines = std::move(pending_);
    pending_.clear();
    if (current_.empty()) {
        current_ = NewestTraceFile(folder_);
        if (current_.empty()) return lines;
        followed_.insert(current_);
    }
    ReadNew(lines);
    const fs::path newest = NewestTraceFile(folder_);
    if (!newest.empty() && followed_.insert(newest).second) {
        if (!partial_.empty()) lines.push_back(std::exchange(partial_, {}));
        current_ = newest;
        identity_.reset();
        offset_ = 0;
        ++switches_;
        ReadNew(lines);
    }
    return lines;
}

void TraceFollower::ReadNew(std::vector<std::string>& lines) {
    const std::optional<FileIdentity> identity = IdentityOf(current_);
    std::ifstream in(current_, std::ios::binary);
    if (!identity || !in) return;
    if (identity != identity_) {
        // Another file now has this name: what is left of the old one's last line ends it.
        if (identity_ && !partial_.empty()) lines.push_back(std::exchange(partial_, {}));
        identity_ = identity;
        offset_ = 0;
    }
    in.seekg(0, std::ios::end);
    const uint64_t size = static_cast<uint64_t>(in.tellg());
    if (size < offset_) {
        // Cut shorter and written again: go on from its new end, the unfinished line is gone.
        offset_ = size;
        partial_.clear();
    }
    in.seekg(static_cast<std::streamoff>(offset_));
    std::string data(size - offset_, '\0');
    in.read(data.data(), static_cast<std::streamsize>(data.size()));
    data.resize(static_cast<size_t>(in.gcount()));
    offset_ += data.size();
    partial_ += data;
    size_t start = 0;
    for (size_t end; (end = partial_.find('\n', start)) != std::string::npos; start = end + 1) {
        size_t length = end - start;
        if (length > 0 && partial_[end - 1] == '\r') --length;
        lines.push_back(partial_.substr(start, length));
    }
    partial_.erase(0, start);
}

}  // namespace vextrel::tool
