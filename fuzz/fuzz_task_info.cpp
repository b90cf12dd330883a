// task-info body: the simdjson reader against the QJsonDocument reader it replaced
// (any difference in what they read aborts), then the running-sandbox rows and the job
// history's merge of the same document.
#include "core/envelope.h"
#include "core/timing.h"
#include "jobs/job_history.h"
#include "reference/qjson_task_info.h"
#include "worker_interface/sandbox_progress.h"
#include "worker_interface/task_info_parser.h"
#include "worker_interface/task_info_reader.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {
QTemporaryDir* historyDir = nullptr;
vxr::TaskInfoParser* parser = nullptr;
} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    static QCoreApplication app(*argc, *argv);
    historyDir = new QTemporaryDir;
    parser = new vxr::TaskInfoParser;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray body(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    (void)vxr::parseEnvelope(body, vxr::EnvelopeSemicolon::keep);
    std::optional<vxr::TaskInfo> info = parser->parseBody(body);
    std::optional<vxr::TaskInfo> old = vxr::reference::qjsonTaskInfo(body);
    if (info != old) {
        fprintf(stderr, "readers differ: simdjson %s, QJsonDocument %s\n",
                info ? "read it" : "refused it", old ? "read it" : "refused it");
        abort();
    }
    if (info && vxr::boundTaskInfo(*info) != vxr::boundTaskInfo(*old))
        abort();
    const auto rows = vxr::sandboxRows(info ? &*info : nullptr);
    for (const auto& row : rows) {
        if (row.percent < 0 || row.percent > 100 || row.slicesDone < 0)
            abort();
        (void)vxr::slicesText(row.slicesDone, row.slicesFetched);
        (void)vxr::percentText(row.percent);
    }
    if (!info)
        return 0;
    // A fixed clock keeps runs reproducible; two ingests exercise the merge path.
    vxr::JobHistory history(historyDir->path(), vxr::Timing{},
                            [] { return QDateTime::fromSecsSinceEpoch(1'800'000'000); });
    history.ingest(*info);
    history.ingest(*info);
    return 0;
}
