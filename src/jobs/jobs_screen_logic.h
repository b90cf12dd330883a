#pragma once

#include "jobs/job_record.h"
#include "jobs/worker_process_memory.h"

#include <QDateTime>
#include <QList>
#include <QLocale>
#include <QObject>
#include <QPointF>
#include <QSizeF>
#include <QString>
#include <QTimeZone>

#include <optional>
#include <span>

// What the jobs screen shows, as texts and geometry: the screen itself only draws.
namespace vxr::jobs_screen {

inline constexpr QStringView enDash = u"–";

// Milliseconds: "12 s" from 10 s up, "2.35 s" below; "–" when absent or not above 0.
[[nodiscard]] QString secondsText(const std::optional<double>& milliseconds);
// Decimal units: "999 B", "1.5 KB", "2.5 MB", "3.20 GB"; "–" when absent or not above 0.
[[nodiscard]] QString bytesText(const std::optional<double>& bytes);
// The worker process card: "950 MB", "1.50 GB"; 0 is "0 MB".
[[nodiscard]] QString sizeText(double bytes);
// Truncated toward zero, in decimal, whatever the magnitude.
[[nodiscard]] QString wholeNumberText(double value);

// "MMM d HH:mm – HH:mm" on one day of `zone`, else both dates in full.
[[nodiscard]] QString timeRangeText(const QDateTime& first, const QDateTime& last,
                                    const QTimeZone& zone = QTimeZone::systemTimeZone(),
                                    const QLocale& locale = QLocale());

[[nodiscard]] QString jobTitle(const std::optional<QString>& name, const QString& id);
[[nodiscard]] QString jobTitle(const JobRecord& job);
// The first 10 characters of the id, the compute group and "<n> slices", joined by " · ".
[[nodiscard]] QString jobSubtitle(const QString& id, const std::optional<QString>& computeGroup,
                                  double slices);
[[nodiscard]] QString jobSubtitle(const JobRecord& job);

// A job's derived per-slice figures, as the list model hands them to the screen.
struct JobFigures {
    std::optional<double> cpuPerSlice;
    std::optional<double> gpuPerSlice;
    std::optional<double> inPerSlice;
    std::optional<double> outPerSlice;
    std::optional<Peak> ram;
    std::optional<Peak> gpuMem;
    std::optional<Estimate> estimate;

    [[nodiscard]] static JobFigures of(const JobRecord& job);
};

// One line of the THIS COMPUTER / NETWORK grid. Memory rows draw the measured value in
// the value colour.
struct GridRow {
    QString label;
    QString measured;
    QString estimate;
    bool memory = false;

    bool operator==(const GridRow&) const = default;
};
[[nodiscard]] QList<GridRow> comparisonRows(const JobFigures& job);
[[nodiscard]] QList<GridRow> comparisonRows(const JobRecord& job);

enum class PartColor { accentLight, accent, value, textDim, spike };

struct BreakdownPart {
    QString name;
    double bytes = 0;
    PartColor color = PartColor::accentLight;

    bool operator==(const BreakdownPart&) const = default;
};
// Heap, Buffers, Wasm, Other when above 0, then the Spike up to `peak` when above 0.
[[nodiscard]] QList<BreakdownPart> breakdownParts(const RAMBreakdown& breakdown, double peak);
// The bar under a job card: only with a breakdown over at least one slice and a RAM figure.
[[nodiscard]] bool showsBreakdown(const std::optional<RAMBreakdown>& breakdown,
                                  const std::optional<Peak>& ram);
[[nodiscard]] bool showsBreakdown(const JobRecord& job);
// Each part's share of `width`, at least 1.
[[nodiscard]] QList<double> breakdownBarWidths(const QList<BreakdownPart>& parts, double width);

// Absent when the line is not shown.
[[nodiscard]] std::optional<QString> reuseLine(const std::optional<SandboxReuse>& reuse);
[[nodiscard]] std::optional<QString> budgetLine(const std::optional<BudgetJobStats>& budget);

struct ProcessRow {
    Q_GADGET
    Q_PROPERTY(QString label MEMBER label)
    Q_PROPERTY(QString value MEMBER value)

public:
    QString label;
    QString value;

    bool operator==(const ProcessRow&) const = default;
};
[[nodiscard]] QList<ProcessRow> workerProcessRows(const WorkerProcessMemory& process);

// The clear-all button: the first press arms it, the second clears and disarms.
[[nodiscard]] QString clearAllLabel(bool confirming);
// Whether this press clears the list; the caller then flips `confirming`.
[[nodiscard]] constexpr bool clearAllPressClears(bool confirming) {
    return confirming;
}

// Lines filled left to right; a child that would cross the available width starts a new
// line unless it is first on its line, so a child wider than the width stays alone and
// keeps its size. A child of zero width or height is passed over (placed at 0,0).
struct WrappingLayout {
    QList<QPointF> positions;
    QSizeF size;

    bool operator==(const WrappingLayout&) const = default;
};
[[nodiscard]] WrappingLayout wrappingStackLayout(std::span<const QSizeF> sizes,
                                                 std::optional<double> availableWidth,
                                                 double spacing, double lineSpacing);

} // namespace vxr::jobs_screen
