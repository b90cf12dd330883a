#pragma once

#include <QByteArray>
#include <QString>

// Misbehaviour a long-running test switches on and off while the service runs: the
// words in the file named by VXR_SIM_SWITCH_FILE, re-read twice a second. No file, or
// one without any of the words, means behave. Unlike the VXR_SIM_* variables, which
// hold for the whole life of a process, these can come and go on a schedule.
namespace vxr::sim {

struct LiveSwitches {
    bool garbage = false;   // "garbage": HTTP answers are random bytes, as VXR_SIM_GARBAGE=1
    bool oversized = false; // "oversized": HTTP answers carry kOversizedBytes of body
    bool flood = false;     // "flood": kFloodBytesPerTick of log lines every kFloodTickMs
    bool operator==(const LiveSwitches&) const = default;
};

inline constexpr qsizetype kOversizedBytes = 12 * 1024 * 1024;
inline constexpr int kFloodTickMs = 100;
inline constexpr qsizetype kFloodBytesPerTick = 1024 * 1024;

[[nodiscard]] LiveSwitches parseLiveSwitches(const QByteArray& text);
// The file's switches; a missing or unreadable file gives none.
[[nodiscard]] LiveSwitches readLiveSwitches(const QString& path);
// "garbage oversized", or "none".
[[nodiscard]] QString describe(const LiveSwitches& switches);

// An answer body of kOversizedBytes in the task-info envelope, whole.
[[nodiscard]] const QByteArray& oversizedBody();
// The same body in HTTP chunked transfer coding, so its length is never announced.
[[nodiscard]] const QByteArray& oversizedBodyChunked();
// One tick's worth of numbered log lines.
[[nodiscard]] QByteArray floodLines(qint64 tick);

} // namespace vxr::sim
