#include "app/jobs_text.h"

#include "app/vxr_theme.h"
#include "jobs/job_card.h"
#include "jobs/jobs_screen_logic.h"

namespace vxr {

namespace js = jobs_screen;

QVariantList JobsText::barWidths(const QVariantList& parts, double width) {
    QList<js::BreakdownPart> list;
    for (const QVariant& part : parts)
        list.append({QString(), part.value<JobCardPart>().bytes, js::PartColor::accentLight});
    QVariantList widths;
    for (double each : js::breakdownBarWidths(list, width))
        widths.append(each);
    return widths;
}

QList<QColor> JobsText::barColors(const QVariantList& parts) {
    QList<QColor> colors;
    for (const QVariant& part : parts) {
        switch (js::PartColor(part.value<JobCardPart>().color)) {
        case js::PartColor::accentLight:
            colors.append(VXRTheme::accentLight());
            break;
        case js::PartColor::accent:
            colors.append(VXRTheme::accent());
            break;
        case js::PartColor::value:
            colors.append(VXRTheme::value());
            break;
        case js::PartColor::textDim:
            colors.append(VXRTheme::textDim());
            break;
        case js::PartColor::spike: {
            QColor spike = VXRTheme::text();
            spike.setAlphaF(0.18f);
            colors.append(spike);
            break;
        }
        }
    }
    return colors;
}

QString JobsText::clearAllLabel(bool confirming) {
    return js::clearAllLabel(confirming);
}

bool JobsText::clearAllPressClears(bool confirming) {
    return js::clearAllPressClears(confirming);
}

} // namespace vxr
