#pragma once

#include "sim_config.h"

#include <QString>
#include <QTextStream>

#include <optional>

namespace vxr::sim {

// Answers one of the worker program's one-shot commands ("--show=throttle",
// "--show=owner", "--register=KEY", "--reset"). Returns the exit status, or
// nothing when `argument` is not a one-shot command.
[[nodiscard]] std::optional<int> runOneShotCommand(const QString& argument, const SimConfig& config,
                                                   QTextStream& out, QTextStream& err);

} // namespace vxr::sim
