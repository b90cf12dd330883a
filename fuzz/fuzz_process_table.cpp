// A /proc tree made from the input, read as the orphan reaper and the tree probes
// read the real one: a handful of numbered entries, each with stat, status, cmdline
// and a children file, contents as the input says (broken parents, cycles, junk).
#include "platform/proc/process_table.h"
#include "platform/proc/process_tree.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>

namespace {

void writeFile(const QString& path, const std::string& contents) {
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(contents.data(), qint64(contents.size()));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static QTemporaryDir scratch;
    const QString root = scratch.filePath(QStringLiteral("proc"));
    QDir(root).removeRecursively();
    QDir().mkpath(root);

    FuzzedDataProvider input(data, size);
    QList<qint32> pids;
    const int count = input.ConsumeIntegralInRange(1, 8);
    for (int i = 0; i < count && input.remaining_bytes() > 0; ++i) {
        const qint32 pid = input.ConsumeIntegralInRange<qint32>(1, 40);
        const QString dir = root + QLatin1Char('/') + QString::number(pid);
        QDir().mkpath(dir + QStringLiteral("/task/") + QString::number(pid));
        writeFile(dir + QStringLiteral("/stat"), input.ConsumeRandomLengthString(200));
        writeFile(dir + QStringLiteral("/status"), input.ConsumeRandomLengthString(200));
        writeFile(dir + QStringLiteral("/cmdline"), input.ConsumeRandomLengthString(100));
        writeFile(dir + QStringLiteral("/task/") + QString::number(pid) +
                      QStringLiteral("/children"),
                  input.ConsumeRandomLengthString(40));
        pids.append(pid);
    }

    const auto table = vxr::readProcessTable(root);
    for (qsizetype i = 1; i < table.size(); ++i)
        if (table[i - 1].pid >= table[i].pid)
            abort(); // ascending, each pid once
    for (const qint32 pid : pids)
        if (vxr::ancestorsOf(pid, table).size() > table.size() + 1)
            abort(); // bounded, cycles included

    for (const auto walk : {vxr::TreeWalk::childrenLinks, vxr::TreeWalk::tableScan}) {
        vxr::ProcessTreeProbe probe(root);
        const auto snapshot = probe.snapshot(pids.mid(0, 2), walk);
        for (auto it = snapshot.cbegin(); it != snapshot.cend(); ++it)
            if (!pids.contains(it.key()))
                abort(); // measured only what exists
    }
    return 0;
}
