#include "jobs/jobs_screen_logic.h"

#include "core/number_text.h"

#include <QStringList>

#include <algorithm>
#include <cmath>

namespace vxr::jobs_screen {

namespace {

const QString kSeparator = QStringLiteral(" · ");

QString fixed(double value, int decimals) {
    return fixedDecimalText(value, decimals);
}

QString peakText(const std::optional<Peak>& peak) {
    if (!peak)
        return enDash.toString();
    return bytesText(peak->avg) + kSeparator + bytesText(peak->max);
}

} // namespace

QString secondsText(const std::optional<double>& milliseconds) {
    if (!milliseconds || !(*milliseconds > 0))
        return enDash.toString();
    const double ms = *milliseconds;
    return fixed(ms / 1000, ms >= 10000 ? 0 : 2) + QStringLiteral(" s");
}

QString bytesText(const std::optional<double>& bytes) {
    if (!bytes || !(*bytes > 0))
        return enDash.toString();
    const double b = *bytes;
    if (b >= 1e9)
        return fixed(b / 1e9, 2) + QStringLiteral(" GB");
    if (b >= 1e6)
        return fixed(b / 1e6, 1) + QStringLiteral(" MB");
    if (b >= 1000)
        return fixed(b / 1000, 1) + QStringLiteral(" KB");
    return wholeNumberText(b) + QStringLiteral(" B");
}

QString sizeText(double bytes) {
    if (bytes >= 1e9)
        return fixed(bytes / 1e9, 2) + QStringLiteral(" GB");
    return fixed(bytes / 1e6, 0) + QStringLiteral(" MB");
}

QString wholeNumberText(double value) {
    if (!std::isfinite(value))
        return QStringLiteral("0");
    // Adding 0.0 turns a truncated -0.5 (-0.0) into 0.
    return fixed(std::trunc(value) + 0.0, 0);
}

QString timeRangeText(const QDateTime& first, const QDateTime& last, const QTimeZone& zone,
                      const QLocale& locale) {
    const QDateTime from = first.toTimeZone(zone);
    const QDateTime to = last.toTimeZone(zone);
    const QString full = QStringLiteral("MMM d HH:mm");
    const QString second = from.date() == to.date() ? locale.toString(to, QStringLiteral("HH:mm"))
                                                    : locale.toString(to, full);
    return locale.toString(from, full) + QStringLiteral(" – ") + second;
}

QString jobTitle(const std::optional<QString>& name, const QString& id) {
    return name ? *name : id.left(10);
}

QString jobTitle(const JobRecord& job) {
    return jobTitle(job.name, job.id);
}

QString jobSubtitle(const QString& id, const std::optional<QString>& computeGroup, double slices) {
    QStringList items;
    if (!id.isEmpty())
        items << id.left(10);
    if (computeGroup && !computeGroup->isEmpty())
        items << *computeGroup;
    items << wholeNumberText(slices) + QStringLiteral(" slices");
    return items.join(kSeparator);
}

QString jobSubtitle(const JobRecord& job) {
    return jobSubtitle(job.id, job.computeGroup, job.slices());
}

JobFigures JobFigures::of(const JobRecord& job) {
    return {job.cpuPerSlice(), job.gpuPerSlice(), job.inPerSlice(), job.outPerSlice(),
            job.ram(),         job.gpuMem(),      job.estimate};
}

QList<GridRow> comparisonRows(const JobFigures& job) {
    const auto estimate = [&job](std::optional<double> Estimate::*field) {
        return job.estimate ? (*job.estimate).*field : std::nullopt;
    };
    QList<GridRow> rows;
    rows.append({QStringLiteral("CPU"), secondsText(job.cpuPerSlice),
                 secondsText(estimate(&Estimate::cpu)), false});

    const std::optional<double> gpuEstimate = estimate(&Estimate::gpu);
    if (job.gpuPerSlice.value_or(0) > 0 || gpuEstimate.value_or(0) > 0)
        rows.append(
            {QStringLiteral("GPU"), secondsText(job.gpuPerSlice), secondsText(gpuEstimate), false});

    rows.append({QStringLiteral("IN"), bytesText(job.inPerSlice),
                 bytesText(estimate(&Estimate::inBytes)), false});
    rows.append({QStringLiteral("OUT"), bytesText(job.outPerSlice),
                 bytesText(estimate(&Estimate::outBytes)), false});
    rows.append(
        {QStringLiteral("RAM"), peakText(job.ram), bytesText(estimate(&Estimate::ram)), true});

    const std::optional<double> gpuMemEstimate = estimate(&Estimate::gpuMem);
    if (job.gpuMem || gpuMemEstimate)
        rows.append(
            {QStringLiteral("GPU MEM"), peakText(job.gpuMem), bytesText(gpuMemEstimate), true});
    return rows;
}

QList<GridRow> comparisonRows(const JobRecord& job) {
    return comparisonRows(JobFigures::of(job));
}

QList<BreakdownPart> breakdownParts(const RAMBreakdown& breakdown, double peak) {
    const BreakdownPart measured[] = {
        {QStringLiteral("Heap"), breakdown.heap, PartColor::accentLight},
        {QStringLiteral("Buffers"), breakdown.arrayBuffers, PartColor::accent},
        {QStringLiteral("Wasm"), breakdown.wasm, PartColor::value},
        {QStringLiteral("Other"), breakdown.other, PartColor::textDim},
    };
    QList<BreakdownPart> parts;
    double sum = 0;
    for (const BreakdownPart& part : measured) {
        sum += part.bytes;
        if (part.bytes > 0)
            parts.append(part);
    }
    const double spike = peak - sum;
    if (spike > 0)
        parts.append({QStringLiteral("Spike"), spike, PartColor::spike});
    return parts;
}

bool showsBreakdown(const std::optional<RAMBreakdown>& breakdown, const std::optional<Peak>& ram) {
    return breakdown && breakdown->slices > 0 && ram.has_value();
}

bool showsBreakdown(const JobRecord& job) {
    return showsBreakdown(job.ramBreakdown, job.ram());
}

QList<double> breakdownBarWidths(const QList<BreakdownPart>& parts, double width) {
    double total = 0;
    for (const BreakdownPart& part : parts)
        total += part.bytes;
    if (total < 1)
        total = 1;
    QList<double> widths;
    widths.reserve(parts.size());
    for (const BreakdownPart& part : parts)
        widths.append(std::max(1.0, width * part.bytes / total));
    return widths;
}

std::optional<QString> reuseLine(const std::optional<SandboxReuse>& reuse) {
    if (!reuse || !(reuse->fresh + reuse->reused > 0))
        return std::nullopt;
    QString line = QStringLiteral("SANDBOXES  ") + wholeNumberText(reuse->reused) +
                   QStringLiteral(" warm · ") + wholeNumberText(reuse->fresh) +
                   QStringLiteral(" fresh");
    if (reuse->warmLost > 0)
        line += kSeparator + wholeNumberText(reuse->warmLost) +
                QStringLiteral(" warm lost with slices waiting");
    if (reuse->warmStartSavingMs)
        line += QStringLiteral(" · warm saves ") + fixed(*reuse->warmStartSavingMs / 1000, 1) +
                QStringLiteral(" s");
    return line;
}

std::optional<QString> budgetLine(const std::optional<BudgetJobStats>& budget) {
    if (!budget)
        return std::nullopt;
    const std::pair<QString, const BudgetJobStats::Kind*> kinds[] = {
        {QStringLiteral("new sandbox"), &budget->fresh},
        {QStringLiteral("reused"), &budget->reused},
    };
    QStringList entries;
    for (const auto& [label, kind] : kinds) {
        if (!(kind->n > 0))
            continue;
        entries << label + QLatin1Char(' ') + bytesText(kind->estimate) + QStringLiteral(" (") +
                       wholeNumberText(kind->n) + QStringLiteral(" slices, ±") +
                       bytesText(kind->sd) + QLatin1Char(')');
    }
    return QStringLiteral("BUDGET  ") + entries.join(kSeparator);
}

QList<ProcessRow> workerProcessRows(const WorkerProcessMemory& process) {
    QList<ProcessRow> rows{
        {QStringLiteral("Memory"),
         sizeText(process.rss) + QStringLiteral(" · peak ") + sizeText(process.peakRss)},
        {QStringLiteral("JS heap"),
         sizeText(process.heapUsed) + QStringLiteral(" of ") + sizeText(process.heapLimit)},
    };
    if (process.limit) {
        rows.append({QStringLiteral("Budget now"), sizeText(*process.limit)});
        rows.append({QStringLiteral("Slices running"),
                     sizeText(process.committed.value_or(0)) + QStringLiteral(" expected")});
        rows.append({QStringLiteral("Worker reserve"), sizeText(process.reserve.value_or(0))});
    }
    return rows;
}

QString clearAllLabel(bool confirming) {
    return confirming ? QStringLiteral("Really clear all?") : QStringLiteral("Clear all");
}

WrappingLayout wrappingStackLayout(std::span<const QSizeF> sizes,
                                   std::optional<double> availableWidth, double spacing,
                                   double lineSpacing) {
    WrappingLayout layout;
    layout.positions.reserve(qsizetype(sizes.size()));
    double x = 0;
    double y = 0;
    double lineHeight = 0;
    double right = 0;
    double bottom = 0;
    for (const QSizeF& size : sizes) {
        // As Qt's positioners do: an empty item (a Repeater) takes neither room nor spacing.
        if (size.width() <= 0 || size.height() <= 0) {
            layout.positions.append(QPointF(0, 0));
            continue;
        }
        if (availableWidth && x > 0 && x + size.width() > *availableWidth) {
            y += lineHeight + lineSpacing;
            x = 0;
            lineHeight = 0;
        }
        layout.positions.append(QPointF(x, y));
        right = std::max(right, x + size.width());
        bottom = std::max(bottom, y + size.height());
        x += size.width() + spacing;
        lineHeight = std::max(lineHeight, size.height());
    }
    layout.size = QSizeF(availableWidth ? std::min(right, *availableWidth) : right, bottom);
    return layout;
}

} // namespace vxr::jobs_screen
