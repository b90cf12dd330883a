#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

// Small, allocation-light readers for /proc and /sys files. They use plain POSIX
// calls because they run on every metrics tick for every process of the worker tree.
namespace vxr::proc {

// The whole file, or nullopt when it cannot be opened or read.
[[nodiscard]] std::optional<std::string> readFile(const std::string& path);

// Reads /proc files that are read again every few seconds, keeping them open in
// between: reading an open /proc file from its start generates it anew, and spares the
// path lookup, the open and the close, which cost more than the read itself. A held
// file of a process that has ended reads as an error, never as a later process with
// the same id; it is then opened afresh by its path. Safe from several threads.
class HeldFiles {
public:
    // `hold` false reads every file afresh: a fixture tree's files may be replaced,
    // and a held one would still read as it was.
    explicit HeldFiles(bool hold);
    ~HeldFiles();
    HeldFiles(const HeldFiles&) = delete;
    HeldFiles& operator=(const HeldFiles&) = delete;

    // The whole file, or nullopt when it cannot be opened or read.
    [[nodiscard]] std::optional<std::string> read(const std::string& path);
    // Closes the files not read since the previous call.
    void closeUnread();
    [[nodiscard]] size_t heldCount();

    static constexpr size_t kMaxHeld = 512;

private:
    struct File {
        int fd = -1;
        bool read = false;
    };
    const bool m_hold;
    std::mutex m_mutex;
    std::unordered_map<std::string, File> m_files;
};

// The unsigned decimal number at the start of text (after blanks); nullopt when none.
[[nodiscard]] std::optional<std::uint64_t> leadingNumber(std::string_view text);

// The value of "Key:   123 kB" lines of status-like files, in bytes when the line has
// a "kB" unit; nullopt when the key is absent or its value is not a number.
[[nodiscard]] std::optional<std::uint64_t> keyedBytes(std::string_view text, std::string_view key);

// Calls visit(name) for every entry of a directory whose name is a positive decimal
// number (pids, tids, fds); returns false when the directory cannot be opened.
template <typename Visit> bool forEachNumberedEntry(const std::string& dir, Visit&& visit);

[[nodiscard]] std::optional<std::int64_t> parsePositiveId(std::string_view name);

} // namespace vxr::proc

#include <dirent.h>

namespace vxr::proc {

template <typename Visit> bool forEachNumberedEntry(const std::string& dir, Visit&& visit) {
    DIR* handle = ::opendir(dir.c_str());
    if (!handle)
        return false;
    while (const dirent* entry = ::readdir(handle)) {
        if (const auto id = parsePositiveId(entry->d_name))
            visit(*id, static_cast<std::uint64_t>(entry->d_ino));
    }
    ::closedir(handle);
    return true;
}

} // namespace vxr::proc
