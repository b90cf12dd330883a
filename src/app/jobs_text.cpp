#include "app/jobs_text.h"

#include "jobs/job_card.h"
#include "jobs/jobs_screen_logic.h"

namespace vxr {

namespace js = jobs_screen;

QList<qreal> JobsText::barWidths(const QVariantList& parts, double width) {
    QList<js::BreakdownPart> list;
    for (const QVariant& part : parts)
        list.append({QString(), part.value<JobCardPart>().bytes, js::PartColor::accentLight});
    return js::breakdownBarWidths(list, width);
}

QString JobsText::clearAllLabel(bool confirming) {
    return js::clearAllLabel(confirming);
}

bool JobsText::clearAllPressClears(bool confirming) {
    return js::clearAllPressClears(confirming);
}

} // namespace vxr
