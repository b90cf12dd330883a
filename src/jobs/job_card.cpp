#include "jobs/job_card.h"

#include "jobs/jobs_screen_logic.h"

namespace vxr {

namespace js = jobs_screen;

JobCard jobCard(const JobRecord& job, const std::optional<BudgetJobStats>& budget,
                const std::optional<SandboxReuse>& reuse) {
    JobCard card;
    card.title = js::jobTitle(job);
    card.timeRange = js::timeRangeText(job.firstSeen, job.lastActive);
    card.subtitle = js::jobSubtitle(job);
    for (const js::GridRow& row : js::comparisonRows(job)) {
        const QString spoken = row.label + QStringLiteral(": ") + row.measured +
                               QStringLiteral(" on this computer, ") + row.estimate +
                               QStringLiteral(" estimated");
        card.cells.append({row.label, JobCardCell::Label, row.memory, spoken});
        card.cells.append({row.measured, JobCardCell::Measured, row.memory, row.measured});
        card.cells.append({row.estimate, JobCardCell::Estimate, row.memory, row.estimate});
    }
    card.showBreakdown = js::showsBreakdown(job);
    if (card.showBreakdown) {
        for (const js::BreakdownPart& part : js::breakdownParts(*job.ramBreakdown, job.ram()->avg))
            card.parts.append({part.name, js::bytesText(part.bytes), part.bytes, int(part.color)});
    }
    card.reuseLine = js::reuseLine(reuse).value_or(QString());
    card.budgetLine = js::budgetLine(budget).value_or(QString());
    return card;
}

} // namespace vxr
