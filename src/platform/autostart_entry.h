#pragma once

#include <QByteArray>
#include <QString>

namespace vxr::autostart {

// The argument a start at login passes: stay in the tray.
inline constexpr char kHiddenArgument[] = "--hidden";

// The XDG autostart entry that starts executable at login, hidden in the tray.
[[nodiscard]] QByteArray entryText(const QString& executable);

// Whether the desktop starts an entry with this text: not when a settings tool wrote
// Hidden=true or X-GNOME-Autostart-enabled=false into it.
[[nodiscard]] bool entryEnabled(const QByteArray& text);

// The entry at path exists and the desktop will start it.
[[nodiscard]] bool isEnabled(const QString& path);

// Writes (on) or removes (off) the entry at path. False, with the reason in error,
// when that fails; the old state is kept then.
[[nodiscard]] bool setEnabled(const QString& path, const QString& executable, bool on,
                              QString* error = nullptr);

} // namespace vxr::autostart
