#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

namespace vxr {

// The install rules list every file they put under the prefix in this file, one path per
// line, relative to the prefix. It is what tells our files from others' in a shared prefix.
inline constexpr auto installManifestPath = "share/vxr-worker/installed-files";

// The manifest's paths, cleaned. The whole manifest is refused (nullopt) when a line is
// absolute or leaves the prefix, or when it does not list the app: a damaged or planted
// manifest must not point the uninstaller at anything else.
[[nodiscard]] std::optional<QStringList> parseInstallManifest(const QByteArray& text);

// The manifest of the install at prefix; nullopt when there is none, it is not a regular
// file, it is larger than any install of ours could need, or it does not parse.
[[nodiscard]] std::optional<QStringList> readInstallManifest(const QString& prefix);

} // namespace vxr
