#include "worker_interface/task_info_reader.h"

#include "core/envelope.h"

namespace vxr {

TaskInfoReader::Result TaskInfoReader::read(const std::optional<QByteArray>& body) {
    if (body && m_lastBody && *body == *m_lastBody)
        return {m_lastRoot, true};
    m_lastBody = body;
    m_lastRoot = body ? parseTaskInfoRoot(*body) : std::nullopt;
    return {m_lastRoot, false};
}

} // namespace vxr
