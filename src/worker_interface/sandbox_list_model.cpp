#include "worker_interface/sandbox_list_model.h"

namespace vxr {

SandboxListModel::SandboxListModel(QObject* parent)
    : QAbstractListModel(parent) {}

int SandboxListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_rows.size());
}

QVariant SandboxListModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const SandboxProgress& row = m_rows.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
    case JobNameRole:
        return row.jobName;
    case IdRole:
        return row.id;
    case SlicesDoneRole:
        return row.slicesDone;
    case SlicesFetchedRole:
        return row.slicesFetched;
    case PercentRole:
        return row.percent;
    case SlicesTextRole:
        return slicesText(row.slicesDone, row.slicesFetched);
    case PercentTextRole:
        return percentText(row.percent);
    default:
        return {};
    }
}

QHash<int, QByteArray> SandboxListModel::roleNames() const {
    return {{IdRole, "id"},
            {JobNameRole, "jobName"},
            {SlicesDoneRole, "slicesDone"},
            {SlicesFetchedRole, "slicesFetched"},
            {PercentRole, "percent"},
            {SlicesTextRole, "slicesText"},
            {PercentTextRole, "percentText"}};
}

void SandboxListModel::setRows(const QList<SandboxProgress>& rows) {
    const int before = count();
    // Both lists are sorted by the job id's bytes: one merge pass finds removals,
    // insertions and changed rows.
    int i = 0;
    qsizetype j = 0;
    while (i < m_rows.size() || j < rows.size()) {
        const int order = i >= m_rows.size() ? 1
                          : j >= rows.size()
                              ? -1
                              : qstrcmp(m_rows.at(i).id.toUtf8(), rows.at(j).id.toUtf8());
        if (order < 0) {
            beginRemoveRows({}, i, i);
            m_rows.removeAt(i);
            endRemoveRows();
        } else if (order > 0) {
            beginInsertRows({}, i, i);
            m_rows.insert(i, rows.at(j));
            endInsertRows();
            ++i;
            ++j;
        } else {
            if (!(m_rows.at(i) == rows.at(j))) {
                m_rows[i] = rows.at(j);
                emit dataChanged(index(i), index(i));
            }
            ++i;
            ++j;
        }
    }
    if (count() != before)
        emit countChanged();
}

} // namespace vxr
