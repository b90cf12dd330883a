#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>

#include <optional>

// The worker service answers its data endpoints as "prefix=JSON" (a script
// assignment), sometimes with a final ";". Readers differ on that ";": run-info
// takes the text after "=" unchanged, task-info drops exactly one final ";".
namespace vxr {

enum class EnvelopeSemicolon {
    keep,    // the text after "=" is parsed as it is
    dropOne, // one final ";" is removed first; nothing else (no trimming)
};

// The JSON object after the first "=" of a UTF-8 body, or nothing when the body
// is not UTF-8, has no "=", is not JSON, or its top level is not an object.
[[nodiscard]] std::optional<QJsonObject> parseEnvelope(const QByteArray& body,
                                                       EnvelopeSemicolon semicolon);

// The task-info document's root object.
[[nodiscard]] std::optional<QJsonObject> parseTaskInfoRoot(const QByteArray& body);

// One run-info answer: the earnings total and the account it is paid to.
struct RunInfo {
    double totalEarnings = 0;
    QString earningsAccount; // empty when the service named none

    bool operator==(const RunInfo&) const = default;
};

// A wrongly typed or missing "totalEarnings" reads as 0, "earningsAccount" as "".
[[nodiscard]] std::optional<RunInfo> parseRunInfo(const QByteArray& body);

} // namespace vxr
