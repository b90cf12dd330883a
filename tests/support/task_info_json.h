#pragma once

// Task-info documents built as QJsonObjects, read the way the application reads the
// worker's bodies.

#include "worker_interface/task_info_parser.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace vxr::testing {

inline TaskInfo taskInfo(const QJsonObject& root) {
    TaskInfoParser parser;
    return parser.parseJson(QJsonDocument(root).toJson(QJsonDocument::Compact)).value();
}

} // namespace vxr::testing
