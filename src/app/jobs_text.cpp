#include "app/jobs_text.h"

#include "jobs/jobs_screen_logic.h"

#include <QDateTime>

namespace vxr {

namespace {

namespace js = jobs_screen;

std::optional<double> number(const QVariant& value) {
    bool ok = false;
    const double d = value.toDouble(&ok);
    return value.isValid() && ok ? std::optional<double>(d) : std::nullopt;
}

std::optional<double> number(const QVariantMap& map, const char* key) {
    return number(map.value(QLatin1StringView(key)));
}

std::optional<QString> text(const QVariant& value) {
    return value.isValid() && !value.isNull() ? std::optional<QString>(value.toString())
                                              : std::nullopt;
}

std::optional<QVariantMap> mapOf(const QVariant& value) {
    if (!value.isValid() || !value.canConvert<QVariantMap>())
        return std::nullopt;
    return value.toMap();
}

std::optional<Peak> peakOf(const QVariant& value) {
    const std::optional<QVariantMap> map = mapOf(value);
    if (!map)
        return std::nullopt;
    return Peak{number(*map, "avg").value_or(0), number(*map, "max").value_or(0)};
}

std::optional<Estimate> estimateOf(const QVariant& value) {
    const std::optional<QVariantMap> map = mapOf(value);
    if (!map)
        return std::nullopt;
    return Estimate{number(*map, "cpu"),      number(*map, "gpu"), number(*map, "inBytes"),
                    number(*map, "outBytes"), number(*map, "ram"), number(*map, "gpuMem")};
}

std::optional<RAMBreakdown> breakdownOf(const QVariant& value) {
    const std::optional<QVariantMap> map = mapOf(value);
    if (!map)
        return std::nullopt;
    return RAMBreakdown{number(*map, "heap").value_or(0), number(*map, "arrayBuffers").value_or(0),
                        number(*map, "wasm").value_or(0), number(*map, "other").value_or(0),
                        number(*map, "slices").value_or(0)};
}

BudgetJobStats::Kind budgetKindOf(const QVariant& value) {
    const QVariantMap map = value.toMap();
    return {number(map, "n").value_or(0), number(map, "mean").value_or(0),
            number(map, "sd").value_or(0), number(map, "estimate")};
}

std::optional<BudgetJobStats> budgetOf(const QVariant& value) {
    const std::optional<QVariantMap> map = mapOf(value);
    if (!map)
        return std::nullopt;
    return BudgetJobStats{budgetKindOf(map->value(QStringLiteral("fresh"))),
                          budgetKindOf(map->value(QStringLiteral("reused")))};
}

std::optional<SandboxReuse> reuseOf(const QVariant& value) {
    const std::optional<QVariantMap> map = mapOf(value);
    if (!map)
        return std::nullopt;
    return SandboxReuse{number(*map, "fresh").value_or(0), number(*map, "reused").value_or(0),
                        number(*map, "warmLost").value_or(0), number(*map, "warmStartSavingMs")};
}

} // namespace

QVariantMap JobsText::card(const QVariantMap& roles) {
    const auto role = [&roles](const char* key) { return roles.value(QLatin1StringView(key)); };
    const QString id = role("jobId").toString();

    js::JobFigures figures{number(role("cpuPerSlice")), number(role("gpuPerSlice")),
                           number(role("inPerSlice")),  number(role("outPerSlice")),
                           peakOf(role("ram")),         peakOf(role("gpuMem")),
                           estimateOf(role("estimate"))};
    QVariantList rows;
    QVariantList cells; // the grid's cells in reading order, three per row
    for (const js::GridRow& row : js::comparisonRows(figures)) {
        rows.append(QVariantMap{{QStringLiteral("label"), row.label},
                                {QStringLiteral("measured"), row.measured},
                                {QStringLiteral("estimate"), row.estimate},
                                {QStringLiteral("memory"), row.memory}});
        const QString spoken = row.label + QStringLiteral(": ") + row.measured +
                               QStringLiteral(" on this computer, ") + row.estimate +
                               QStringLiteral(" estimated");
        const QString texts[] = {row.label, row.measured, row.estimate};
        for (int kind = 0; kind < 3; ++kind)
            cells.append(QVariantMap{{QStringLiteral("text"), texts[kind]},
                                     {QStringLiteral("kind"), kind},
                                     {QStringLiteral("memory"), row.memory},
                                     {QStringLiteral("spoken"), kind == 0 ? spoken : texts[kind]}});
    }

    const std::optional<RAMBreakdown> breakdown = breakdownOf(role("ramBreakdown"));
    const bool showBreakdown = js::showsBreakdown(breakdown, figures.ram);
    QVariantList parts;
    if (showBreakdown) {
        for (const js::BreakdownPart& part : js::breakdownParts(*breakdown, figures.ram->avg))
            parts.append(QVariantMap{{QStringLiteral("name"), part.name},
                                     {QStringLiteral("value"), js::bytesText(part.bytes)},
                                     {QStringLiteral("bytes"), part.bytes},
                                     {QStringLiteral("color"), int(part.color)}});
    }

    return {
        {QStringLiteral("title"), js::jobTitle(text(role("name")), id)},
        {QStringLiteral("timeRange"),
         js::timeRangeText(role("firstSeen").toDateTime(), role("lastActive").toDateTime())},
        {QStringLiteral("subtitle"),
         js::jobSubtitle(id, text(role("computeGroup")), number(role("slices")).value_or(0))},
        {QStringLiteral("rows"), rows},
        {QStringLiteral("cells"), cells},
        {QStringLiteral("showBreakdown"), showBreakdown},
        {QStringLiteral("parts"), parts},
        {QStringLiteral("reuseLine"), js::reuseLine(reuseOf(role("reuse"))).value_or(QString())},
        {QStringLiteral("budgetLine"),
         js::budgetLine(budgetOf(role("budget"))).value_or(QString())},
    };
}

QVariantList JobsText::barWidths(const QVariantList& parts, double width) {
    QList<js::BreakdownPart> list;
    for (const QVariant& part : parts)
        list.append({QString(), part.toMap().value(QStringLiteral("bytes")).toDouble(),
                     js::PartColor::accentLight});
    QVariantList widths;
    for (double w : js::breakdownBarWidths(list, width))
        widths.append(w);
    return widths;
}

QVariantList JobsText::workerProcessRows(const QVariantMap& process) {
    WorkerProcessMemory memory;
    memory.rss = number(process, "rss").value_or(0);
    memory.peakRss = number(process, "peakRss").value_or(0);
    memory.heapUsed = number(process, "heapUsed").value_or(0);
    memory.heapLimit = number(process, "heapLimit").value_or(0);
    memory.limit = number(process, "limit");
    memory.reserve = number(process, "reserve");
    memory.committed = number(process, "committed");
    QVariantList rows;
    for (const js::ProcessRow& row : js::workerProcessRows(memory))
        rows.append(QVariantMap{{QStringLiteral("label"), row.label},
                                {QStringLiteral("value"), row.value}});
    return rows;
}

QString JobsText::clearAllLabel(bool confirming) {
    return js::clearAllLabel(confirming);
}

bool JobsText::clearAllPressClears(bool confirming) {
    return js::clearAllPressClears(confirming);
}

} // namespace vxr
