#pragma once

#include "jobs/job_record.h"
#include "jobs/worker_process_memory.h"

#include <QList>
#include <QMetaType>
#include <QString>
#include <QVariantList>

#include <optional>

namespace vxr {

// One cell of a job card's THIS COMPUTER / NETWORK grid, in reading order.
struct JobCardCell {
    Q_GADGET
    Q_PROPERTY(QString text MEMBER text)
    Q_PROPERTY(Kind kind MEMBER kind)
    Q_PROPERTY(bool memory MEMBER memory)
    Q_PROPERTY(QString spoken MEMBER spoken)
    // For QML, which reads no gadget's enum.
    Q_PROPERTY(bool isLabel READ isLabel)
    Q_PROPERTY(bool isMeasured READ isMeasured)

public:
    enum Kind { Label, Measured, Estimate };
    Q_ENUM(Kind)

    QString text;
    Kind kind = Label;
    bool memory = false; // a memory row: the measured value in the value colour
    QString spoken;      // what a screen reader says for the cell

    [[nodiscard]] bool isLabel() const { return kind == Label; }
    [[nodiscard]] bool isMeasured() const { return kind == Measured; }
    bool operator==(const JobCardCell&) const = default;
};

// One part of the memory breakdown bar and its legend entry.
struct JobCardPart {
    Q_GADGET
    Q_PROPERTY(QString name MEMBER name)
    Q_PROPERTY(QString value MEMBER value)
    Q_PROPERTY(double bytes MEMBER bytes)
    Q_PROPERTY(int color MEMBER color)

public:
    QString name;
    QString value;
    double bytes = 0;
    int color = 0; // a jobs_screen::PartColor

    bool operator==(const JobCardPart&) const = default;
};

// Everything a job card shows, as text: computed from the record, never parsed back.
struct JobCard {
    QString title;
    QString timeRange;
    QString subtitle;
    QList<JobCardCell> cells;
    bool showBreakdown = false;
    QList<JobCardPart> parts;
    QString reuseLine;  // empty when not shown
    QString budgetLine; // empty when not shown

    bool operator==(const JobCard&) const = default;
};

[[nodiscard]] JobCard jobCard(const JobRecord& job, const std::optional<BudgetJobStats>& budget,
                              const std::optional<SandboxReuse>& reuse);

// Lists of gadgets as QML reads them (each element's properties by name).
template <typename T> [[nodiscard]] QVariantList gadgetList(const QList<T>& values) {
    QVariantList list;
    list.reserve(values.size());
    for (const T& value : values)
        list.append(QVariant::fromValue(value));
    return list;
}

} // namespace vxr

Q_DECLARE_METATYPE(vxr::JobCardCell)
Q_DECLARE_METATYPE(vxr::JobCardPart)
