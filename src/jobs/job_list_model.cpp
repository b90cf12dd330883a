#include "jobs/job_list_model.h"

#include <algorithm>

namespace vxr {

namespace {
template <typename T> std::optional<T> entry(const QMap<QString, T>& map, const QString& id) {
    const auto it = map.constFind(id);
    return it == map.cend() ? std::nullopt : std::optional<T>(*it);
}

template <typename T>
bool entryDiffers(const QMap<QString, T>& a, const QMap<QString, T>& b, const QString& id) {
    const auto ia = a.constFind(id);
    const auto ib = b.constFind(id);
    const bool inA = ia != a.cend();
    const bool inB = ib != b.cend();
    return inA != inB || (inA && !(*ia == *ib));
}
} // namespace

JobListModel::JobListModel(QObject* parent)
    : QAbstractListModel(parent) {}

int JobListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_jobs.size());
}

QVariant JobListModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const JobRecord& job = m_jobs.at(index.row());
    if (role == JobIdRole)
        return job.id;
    const JobCard& shown = card(job);
    switch (role) {
    case TitleRole:
        return shown.title;
    case TimeRangeRole:
        return shown.timeRange;
    case SubtitleRole:
        return shown.subtitle;
    case CellsRole:
        return gadgetList(shown.cells);
    case ShowBreakdownRole:
        return shown.showBreakdown;
    case PartsRole:
        return gadgetList(shown.parts);
    case ReuseLineRole:
        return shown.reuseLine;
    case BudgetLineRole:
        return shown.budgetLine;
    default:
        return {};
    }
}

const JobCard& JobListModel::card(const JobRecord& job) const {
    auto it = m_cards.find(job.id);
    if (it == m_cards.end())
        it = m_cards.insert(job.id, jobCard(job, entry(m_budget, job.id), entry(m_reuse, job.id)));
    return *it;
}

QHash<int, QByteArray> JobListModel::roleNames() const {
    return {{JobIdRole, "jobId"},          {TitleRole, "title"},
            {TimeRangeRole, "timeRange"},  {SubtitleRole, "subtitle"},
            {CellsRole, "cells"},          {ShowBreakdownRole, "showBreakdown"},
            {PartsRole, "parts"},          {ReuseLineRole, "reuseLine"},
            {BudgetLineRole, "budgetLine"}};
}

bool JobListModel::sameRelativeOrder(const QList<JobRecord>& jobs) const {
    // Rows still present must appear in `jobs` in the order they have now.
    QHash<QString, qsizetype> position;
    position.reserve(jobs.size());
    for (qsizetype i = 0; i < jobs.size(); ++i)
        position.insert(jobs[i].id, i);
    qsizetype last = -1;
    for (const JobRecord& job : m_jobs) {
        const qsizetype p = position.value(job.id, -1);
        if (p < 0)
            continue;
        if (p < last)
            return false;
        last = p;
    }
    return true;
}

void JobListModel::setJobs(const QList<JobRecord>& jobs) {
    const qsizetype oldCount = m_jobs.size();
    // The usual poll: the same jobs in the same rows, some of them updated.
    const bool sameRows =
        jobs.size() == oldCount &&
        std::equal(jobs.cbegin(), jobs.cend(), m_jobs.cbegin(),
                   [](const JobRecord& a, const JobRecord& b) { return a.id == b.id; });
    if (!sameRows && !sameRelativeOrder(jobs)) {
        beginResetModel();
        m_jobs = jobs;
        m_cards.clear();
        endResetModel();
        if (m_jobs.size() != oldCount)
            emit countChanged();
        return;
    }

    // 1. Remove the rows whose ids are gone, in runs, from the bottom up.
    QSet<QString> ids;
    if (!sameRows) {
        ids.reserve(jobs.size());
        for (const JobRecord& job : jobs)
            ids.insert(job.id);
    }
    for (qsizetype last = sameRows ? -1 : m_jobs.size() - 1; last >= 0;) {
        if (ids.contains(m_jobs[last].id)) {
            --last;
            continue;
        }
        qsizetype first = last;
        while (first > 0 && !ids.contains(m_jobs[first - 1].id))
            --first;
        beginRemoveRows({}, int(first), int(last));
        for (qsizetype k = first; k <= last; ++k)
            m_cards.remove(m_jobs[k].id);
        m_jobs.remove(first, last - first + 1);
        endRemoveRows();
        last = first - 1;
    }

    // 2. Walk the new list: rows in place are updated, runs of new ids inserted.
    // m_jobs[0, i) equals jobs[0, i) after each step.
    for (qsizetype i = 0; i < jobs.size();) {
        if (i < m_jobs.size() && m_jobs[i].id == jobs[i].id) {
            if (!(m_jobs[i] == jobs[i])) {
                m_jobs[i] = jobs[i];
                m_cards.remove(jobs[i].id);
                const QModelIndex changed = index(int(i));
                emit dataChanged(changed, changed);
            }
            ++i;
            continue;
        }
        qsizetype end = i + 1;
        if (i < m_jobs.size()) {
            while (end < jobs.size() && jobs[end].id != m_jobs[i].id)
                ++end;
        } else {
            end = jobs.size();
        }
        beginInsertRows({}, int(i), int(end - 1));
        for (qsizetype k = i; k < end; ++k)
            m_jobs.insert(k, jobs[k]);
        endInsertRows();
        i = end;
    }

    if (m_jobs.size() != oldCount)
        emit countChanged();
}

void JobListModel::setWorkerProcess(const std::optional<WorkerProcessMemory>& process) {
    QMap<QString, BudgetJobStats> budget =
        process ? process->jobs : QMap<QString, BudgetJobStats>{};
    QMap<QString, SandboxReuse> reuse = process ? process->reuse : QMap<QString, SandboxReuse>{};
    if (budget == m_budget && reuse == m_reuse)
        return;
    std::swap(m_budget, budget);
    std::swap(m_reuse, reuse);
    for (qsizetype i = 0; i < m_jobs.size(); ++i) {
        const QString& id = m_jobs[i].id;
        if (entryDiffers(budget, m_budget, id) || entryDiffers(reuse, m_reuse, id)) {
            m_cards.remove(id);
            const QModelIndex changed = index(int(i));
            emit dataChanged(changed, changed, {ReuseLineRole, BudgetLineRole});
        }
    }
}

} // namespace vxr
