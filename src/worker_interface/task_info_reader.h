#pragma once

#include <QByteArray>
#include <QJsonObject>

#include <optional>

namespace vxr {

// Parses the task-info bodies of one poll loop. While nothing moves, the worker serves
// the same bytes every cycle; those are recognised by comparison and not parsed again,
// and `unchanged` tells the consumers that their last result still holds.
class TaskInfoReader {
public:
    struct Result {
        std::optional<QJsonObject> root; // nothing when the fetch or the parse failed
        bool unchanged = false;          // same body as the previous cycle
    };

    // `body` is nothing when the fetch failed; a failure is never "unchanged", and the
    // body after it is parsed afresh.
    Result read(const std::optional<QByteArray>& body);

private:
    std::optional<QByteArray> m_lastBody;
    std::optional<QJsonObject> m_lastRoot;
};

} // namespace vxr
