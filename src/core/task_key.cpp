#include "core/task_key.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <charconv>
#include <cmath>

namespace vxr {

QString taskKeyPart(const QJsonValue& value) {
    switch (value.type()) {
    case QJsonValue::String:
        return value.toString();
    case QJsonValue::Double: {
        // Whole numbers below 1e21 print all their digits (1733700000000, as the
        // worker's own scripts would write it); anything else takes the shortest
        // text that reads back as the same double.
        const double d = value.toDouble() + 0.0; // -0 prints as 0
        const bool whole = std::trunc(d) == d && std::abs(d) < 1e21;
        char buffer[64];
        const auto result =
            whole ? std::to_chars(buffer, buffer + sizeof buffer, d, std::chars_format::fixed)
                  : std::to_chars(buffer, buffer + sizeof buffer, d);
        return QString::fromLatin1(buffer, result.ptr - buffer);
    }
    case QJsonValue::Bool:
        return value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    case QJsonValue::Array:
        return QString::fromUtf8(QJsonDocument(value.toArray()).toJson(QJsonDocument::Compact));
    case QJsonValue::Object:
        return QString::fromUtf8(QJsonDocument(value.toObject()).toJson(QJsonDocument::Compact));
    case QJsonValue::Null:
    case QJsonValue::Undefined:
        break;
    }
    return {};
}

QString taskKey(const QJsonObject& prototype) {
    return taskKeyPart(prototype.value(QLatin1StringView("serial"))) + u'|' +
           taskKeyPart(prototype.value(QLatin1StringView("taskTime")));
}

} // namespace vxr
