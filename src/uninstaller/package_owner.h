#pragma once

#include <QByteArray>
#include <QString>

namespace vxr {

// The packages dpkg-query -S names for exactly path in its output ("pkg: /path",
// "pkg1, pkg2: /path"), joined by " "; empty when none does. Diversion lines and
// pattern matches on other paths do not count.
[[nodiscard]] QString packagesOwningInOutput(const QByteArray& dpkgOutput, const QString& path);

// The package (or packages) the system's package manager installed path with; empty when
// none did or dpkg-query is missing or does not answer within a few seconds.
[[nodiscard]] QString packageOwning(const QString& path);

} // namespace vxr
