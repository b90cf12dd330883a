#pragma once

#include "jobs/job_record.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QMap>
#include <QSet>
#include <QString>
#include <QStringView>

#include <optional>

namespace vxr {

// Job id -> task keys the user removed, so those (job, task) pairs never come back.
using DismissedPairs = QMap<QString, QSet<QString>>;

// "2026-12-09T01:02:03Z": UTC, whole seconds (fractions are cut, not rounded).
[[nodiscard]] QString internetDateText(const QDateTime& date);

// Reads exactly the form above (an explicit "+hh:mm"/"-hh:mm" offset is also
// accepted); anything else, fractions of a second included, is rejected.
[[nodiscard]] std::optional<QDateTime> parseInternetDate(QStringView text);

// job-history.json: a compact array of records, absent optionals left out.
[[nodiscard]] QByteArray encodeJobHistory(const QList<JobRecord>& jobs);

// Strict: a missing or mistyped required field anywhere rejects the whole file.
// A repeated job id keeps its first record only, since ids identify records.
[[nodiscard]] std::optional<QList<JobRecord>> decodeJobHistory(const QByteArray& bytes);

// job-history-dismissed.json: a compact object of job id -> array of task keys
// (written sorted so the file does not churn between saves).
[[nodiscard]] QByteArray encodeDismissed(const DismissedPairs& dismissed);
[[nodiscard]] std::optional<DismissedPairs> decodeDismissed(const QByteArray& bytes);

} // namespace vxr
