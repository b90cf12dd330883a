#pragma once

#include "worker_interface/sandbox_progress.h"

#include <QAbstractListModel>

namespace vxr {

// The running-sandboxes rows for the home screen. setRows() merges by job id, so a
// view keeps its delegates while a job's counts change.
class SandboxListModel : public QAbstractListModel {
    Q_OBJECT
    Q_PROPERTY(int count READ count NOTIFY countChanged)
public:
    enum Role {
        IdRole = Qt::UserRole + 1,
        JobNameRole,
        SlicesDoneRole,
        SlicesFetchedRole,
        PercentRole,
        SlicesTextRole,
        PercentTextRole,
    };

    explicit SandboxListModel(QObject* parent = nullptr);

    [[nodiscard]] int rowCount(const QModelIndex& parent = {}) const override;
    [[nodiscard]] QVariant data(const QModelIndex& index, int role) const override;
    [[nodiscard]] QHash<int, QByteArray> roleNames() const override;

    [[nodiscard]] int count() const { return int(m_rows.size()); }
    [[nodiscard]] const QList<SandboxProgress>& rows() const { return m_rows; }
    // Rows must come in sandboxRows() order (ascending job id bytes).
    void setRows(const QList<SandboxProgress>& rows);

signals:
    void countChanged();

private:
    QList<SandboxProgress> m_rows;
};

} // namespace vxr
