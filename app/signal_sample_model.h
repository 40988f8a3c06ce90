// The survey's table as a view of its samples: a cell's text is made when the view draws it, so an hour
// or a day of samples costs the samples alone, not a widget item per cell.
#pragma once

#include <QAbstractTableModel>
#include <vector>

#include "app/signal_samples.h"

class CSignalSampleModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    static constexpr int kColumns = 7;  // time, CSQ, CSQ dBm, grade, RSRP, RSRQ, RSRP grade

    CSignalSampleModel(const std::vector<SignalSample>& samples, QObject* parent);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // Around a sample appended to the vector, and around the vector emptied.
    void BeginAppend();
    void EndAppend() { endInsertRows(); }
    void BeginClear() { beginResetModel(); }
    void EndClear() { endResetModel(); }

  private:
    const std::vector<SignalSample>& m_samples;
};
