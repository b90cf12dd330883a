#pragma once

#include <QString>

#include <cstdint>
#include <optional>
#include <string_view>

namespace vxr {

// Memory of the whole machine, counted as the desktop's system monitors count it.
struct HostMemory {
    quint64 totalBytes = 0; // MemTotal
    quint64 usedBytes = 0;  // MemTotal - MemAvailable

    bool operator==(const HostMemory&) const = default;
};

// nullopt when MemTotal or MemAvailable is missing (kernels before 3.14, a broken file).
[[nodiscard]] std::optional<HostMemory> parseMeminfo(std::string_view text);
[[nodiscard]] std::optional<HostMemory>
readHostMemory(const QString& procRoot = QStringLiteral("/proc"));

} // namespace vxr
