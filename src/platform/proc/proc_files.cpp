#include "platform/proc/proc_files.h"

#include <cerrno>
#include <charconv>
#include <fcntl.h>
#include <unistd.h>

namespace vxr::proc {

namespace {

// /proc files are generated whole on the first read when the buffer is large enough,
// so a read that does not fill the buffer has reached the end; stopping there saves the
// extra read that would return 0 on every file of every tick.
std::optional<std::string> readFrom(int fd) {
    std::string text;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::pread(fd, buffer, sizeof buffer, off_t(text.size()));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return std::nullopt;
        }
        text.append(buffer, static_cast<size_t>(n));
        if (size_t(n) < sizeof buffer)
            return text;
    }
}

} // namespace

std::optional<std::string> readFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    std::optional<std::string> text = readFrom(fd);
    ::close(fd);
    return text;
}

HeldFiles::HeldFiles(bool hold)
    : m_hold(hold) {}

HeldFiles::~HeldFiles() {
    for (const auto& [path, file] : m_files)
        ::close(file.fd);
}

std::optional<std::string> HeldFiles::read(const std::string& path) {
    if (!m_hold)
        return readFile(path);
    // Held through the read: another thread's closeUnread() must not close the file,
    // nor its number be reused, in the middle of it.
    const std::lock_guard lock(m_mutex);
    if (const auto held = m_files.find(path); held != m_files.end()) {
        if (auto text = readFrom(held->second.fd)) {
            held->second.read = true;
            return text;
        }
        ::close(held->second.fd);
        m_files.erase(held);
    }
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    std::optional<std::string> text = readFrom(fd);
    if (text && m_files.size() < kMaxHeld)
        m_files.emplace(path, File{fd, true});
    else
        ::close(fd);
    return text;
}

void HeldFiles::closeUnread() {
    const std::lock_guard lock(m_mutex);
    for (auto it = m_files.begin(); it != m_files.end();) {
        if (it->second.read) {
            it->second.read = false;
            ++it;
        } else {
            ::close(it->second.fd);
            it = m_files.erase(it);
        }
    }
}

size_t HeldFiles::heldCount() {
    const std::lock_guard lock(m_mutex);
    return m_files.size();
}

std::optional<std::uint64_t> leadingNumber(std::string_view text) {
    size_t start = 0;
    while (start < text.size() && (text[start] == ' ' || text[start] == '\t'))
        ++start;
    std::uint64_t value = 0;
    const char* first = text.data() + start;
    const char* last = text.data() + text.size();
    const auto result = std::from_chars(first, last, value);
    if (result.ec != std::errc() || result.ptr == first)
        return std::nullopt;
    return value;
}

std::optional<std::uint64_t> keyedBytes(std::string_view text, std::string_view key) {
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string_view::npos)
            end = text.size();
        const std::string_view line = text.substr(pos, end - pos);
        if (line.size() > key.size() && line.substr(0, key.size()) == key &&
            line[key.size()] == ':') {
            const std::string_view rest = line.substr(key.size() + 1);
            const auto value = leadingNumber(rest);
            if (!value)
                return std::nullopt;
            const bool kiloBytes = rest.find("kB") != std::string_view::npos;
            return kiloBytes ? *value * 1024 : *value;
        }
        pos = end + 1;
    }
    return std::nullopt;
}

std::optional<std::int64_t> parsePositiveId(std::string_view name) {
    std::int64_t value = 0;
    const auto result = std::from_chars(name.data(), name.data() + name.size(), value);
    if (result.ec != std::errc() || result.ptr != name.data() + name.size() || value <= 0)
        return std::nullopt;
    return value;
}

} // namespace vxr::proc
