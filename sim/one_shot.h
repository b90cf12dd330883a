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

// True when VXR_SIM_HANG_ONESHOT names this one-shot command ("throttle", "owner",
// "register", "reset", or "all"): it then never answers, as a worker stuck on the
// network does, until a signal ends it.
[[nodiscard]] bool oneShotHangs(const QString& argument);

} // namespace vxr::sim
