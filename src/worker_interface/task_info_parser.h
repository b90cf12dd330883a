#pragma once

#include "core/task_info.h"

#include <QByteArray>
#include <QByteArrayView>

#include <memory>
#include <optional>

namespace vxr {

// Reads task-info bodies straight into TaskInfo with simdjson's on-demand parser. It takes
// exactly the documents Qt's JSON parser takes, with the same values (the worker's bodies
// were read that way first, and the history files keep what came out): an invalid
// document anywhere, even in keys nobody reads, gives nothing. Keeps its buffers from one
// body to the next; one instance per thread.
class TaskInfoParser {
public:
    TaskInfoParser();
    ~TaskInfoParser();
    TaskInfoParser(const TaskInfoParser&) = delete;
    TaskInfoParser& operator=(const TaskInfoParser&) = delete;

    // The "prefix=JSON;" body: the text after the first "=", one final ";" dropped. Nothing
    // when the body is not UTF-8, has no "=", or is not a JSON object.
    [[nodiscard]] std::optional<TaskInfo> parseBody(const QByteArray& body);
    // JSON text alone; the whole of it must be valid UTF-8.
    [[nodiscard]] std::optional<TaskInfo> parseJson(QByteArrayView json);

private:
    struct State;
    std::unique_ptr<State> m_state;
};

} // namespace vxr
