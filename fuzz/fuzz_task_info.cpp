// task-info body: the "prefix=JSON;" envelope, the running-sandbox rows and the
// job history's merge of the same document.
#include "core/envelope.h"
#include "core/timing.h"
#include "jobs/job_history.h"
#include "worker_interface/sandbox_progress.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>

namespace {
QTemporaryDir* historyDir = nullptr;
}

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    static QCoreApplication app(*argc, *argv);
    historyDir = new QTemporaryDir;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray body(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    (void)vxr::parseEnvelope(body, vxr::EnvelopeSemicolon::keep);
    const auto root = vxr::parseTaskInfoRoot(body);
    const auto rows = vxr::sandboxRows(root);
    for (const auto& row : rows) {
        if (row.percent < 0 || row.percent > 100 || row.slicesDone < 0)
            abort();
        (void)vxr::slicesText(row.slicesDone, row.slicesFetched);
        (void)vxr::percentText(row.percent);
    }
    if (!root)
        return 0;
    // A fixed clock keeps runs reproducible; two ingests exercise the merge path.
    vxr::JobHistory history(historyDir->path(), vxr::Timing{},
                            [] { return QDateTime::fromSecsSinceEpoch(1'800'000'000); });
    history.ingest(*root);
    history.ingest(*root);
    return 0;
}
