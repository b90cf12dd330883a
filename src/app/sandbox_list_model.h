#pragma once

#include <QAbstractListModel>
#include <QVariant>
#include <QtQml/qqmlregistration.h>

namespace vxr {

// The home screen's running-sandbox rows. The controller republishes the whole list
// on every poll; this model turns each new list into row insertions, removals and
// updates keyed by the row id, so rows fade in and out instead of the list being
// rebuilt every second and a half.
class SandboxListModel : public QAbstractListModel {
    Q_OBJECT
    QML_ELEMENT
    // Accepts a list of maps or of gadgets with id, jobName, slicesDone,
    // slicesFetched and percent.
    Q_PROPERTY(QVariant rows READ rows WRITE setRows NOTIFY rowsChanged)
    Q_PROPERTY(int count READ rowCount NOTIFY rowsChanged)

public:
    enum Role { IdRole = Qt::UserRole + 1, JobNameRole, SlicesTextRole, PercentRole, PercentTextRole };

    struct Row {
        QString id;
        QString jobName;
        qint64 slicesDone = 0;
        qint64 slicesFetched = 0;
        double percent = 0;
        bool operator==(const Row&) const = default;
    };

    using QAbstractListModel::QAbstractListModel;

    [[nodiscard]] int rowCount(const QModelIndex& parent = {}) const override;
    [[nodiscard]] QVariant data(const QModelIndex& index, int role) const override;
    [[nodiscard]] QHash<int, QByteArray> roleNames() const override;

    [[nodiscard]] QVariant rows() const { return m_source; }
    void setRows(const QVariant& rows);
    void setRowList(const QList<Row>& rows);

    [[nodiscard]] static QList<Row> rowsFrom(const QVariant& list);

signals:
    void rowsChanged();

private:
    QVariant m_source;
    QList<Row> m_rows;
};

} // namespace vxr
