#include "app/sandbox_list_model.h"

#include "app/shell_rules.h"

#include <QMetaProperty>
#include <QSequentialIterable>
#include <QSet>

namespace vxr {

namespace {

QVariantMap fieldsOf(const QVariant& element)
{
    if (element.typeId() == QMetaType::QVariantMap)
        return element.toMap();
    QVariantMap fields;
    const QMetaObject* meta = element.metaType().metaObject();
    if (!meta)
        return fields;
    if (element.metaType().flags().testFlag(QMetaType::IsGadget)) {
        for (int i = meta->propertyOffset(); i < meta->propertyCount(); ++i) {
            const QMetaProperty p = meta->property(i);
            fields.insert(QString::fromLatin1(p.name()), p.readOnGadget(element.constData()));
        }
    } else if (QObject* object = element.value<QObject*>()) {
        for (const char* name : {"id", "jobName", "slicesDone", "slicesFetched", "percent"})
            fields.insert(QString::fromLatin1(name), object->property(name));
    }
    return fields;
}

} // namespace

QList<SandboxListModel::Row> SandboxListModel::rowsFrom(const QVariant& list)
{
    QList<Row> rows;
    if (!list.isValid() || !list.canConvert<QVariantList>())
        return rows;
    const QSequentialIterable iterable = list.value<QSequentialIterable>();
    for (const QVariant& element : iterable) {
        const QVariantMap f = fieldsOf(element);
        Row row;
        row.id = f.value(QStringLiteral("id")).toString();
        row.jobName = f.value(QStringLiteral("jobName")).toString();
        row.slicesDone = f.value(QStringLiteral("slicesDone")).toLongLong();
        row.slicesFetched = f.value(QStringLiteral("slicesFetched")).toLongLong();
        row.percent = f.value(QStringLiteral("percent")).toDouble();
        rows.append(row);
    }
    return rows;
}

int SandboxListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

QVariant SandboxListModel::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const Row& row = m_rows.at(index.row());
    switch (role) {
    case IdRole: return row.id;
    case JobNameRole: return row.jobName;
    case SlicesTextRole: return slicesText(row.slicesDone, row.slicesFetched);
    case PercentRole: return row.percent;
    case PercentTextRole: return percentText(row.percent);
    default: return {};
    }
}

QHash<int, QByteArray> SandboxListModel::roleNames() const
{
    return {{IdRole, "rowId"},
            {JobNameRole, "jobName"},
            {SlicesTextRole, "slicesText"},
            {PercentRole, "percent"},
            {PercentTextRole, "percentText"}};
}

void SandboxListModel::setRows(const QVariant& rows)
{
    m_source = rows;
    setRowList(rowsFrom(rows));
    emit rowsChanged();
}

void SandboxListModel::setRowList(const QList<Row>& next)
{
    QSet<QString> nextIds;
    for (const Row& row : next)
        nextIds.insert(row.id);

    // Rows that went away leave first, from the end so indices stay valid.
    for (int i = int(m_rows.size()) - 1; i >= 0; --i) {
        if (!nextIds.contains(m_rows.at(i).id)) {
            beginRemoveRows({}, i, i);
            m_rows.removeAt(i);
            endRemoveRows();
        }
    }

    // The rows that stay must keep their order; if they do not (or ids repeat),
    // the list is simply rebuilt.
    QList<QString> staying;
    for (const Row& row : next) {
        for (const Row& current : std::as_const(m_rows)) {
            if (current.id == row.id) {
                staying.append(row.id);
                break;
            }
        }
    }
    bool sameOrder = staying.size() == m_rows.size() && nextIds.size() == next.size();
    for (int i = 0; sameOrder && i < staying.size(); ++i)
        sameOrder = staying.at(i) == m_rows.at(i).id;
    if (!sameOrder) {
        beginResetModel();
        m_rows = next;
        endResetModel();
        return;
    }

    for (int i = 0; i < next.size(); ++i) {
        if (i < m_rows.size() && m_rows.at(i).id == next.at(i).id) {
            if (!(m_rows.at(i) == next.at(i))) {
                m_rows[i] = next.at(i);
                emit dataChanged(index(i), index(i));
            }
            continue;
        }
        beginInsertRows({}, i, i);
        m_rows.insert(i, next.at(i));
        endInsertRows();
    }
}

} // namespace vxr
