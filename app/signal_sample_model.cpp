#include "app/signal_sample_model.h"

#include "res/texts.h"

namespace {

QString FromUtf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QString LevelCell(const SignalLevel& level) {
    return level.known ? FromUtf8(LevelText(level, ModemLanguage::Chinese)) : QString("-");
}

}  // namespace

CSignalSampleModel::CSignalSampleModel(const std::vector<SignalSample>& samples, QObject* parent)
    : QAbstractTableModel(parent), m_samples(samples) {}

int CSignalSampleModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_samples.size());
}

int CSignalSampleModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumns;
}

QVariant CSignalSampleModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= rowCount()) {
        return {};
    }
    const SignalSample& s = m_samples[static_cast<std::size_t>(index.row())];
    switch (index.column()) {
        case 0:
            return s.time.toString("HH:mm:ss");
        case 1:
            return s.csq ? QString::number(*s.csq) : QString("-");
        case 2:
            return LevelCell(s.csqLevel);
        case 3:
            return FromUtf8(GradeNameZh(s.csqGrade));
        case 4:
            return LevelCell(s.rsrp);
        case 5:
            return LevelCell(s.rsrq);
        case 6:
            return s.rsrp.known ? FromUtf8(GradeNameZh(s.rsrpGrade)) : QString("-");
        default:
            return {};
    }
}

QVariant CSignalSampleModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal) {
        return {};
    }
    const QString grade = FromUtf8(kTextSurveyColGrade.utf8);
    const QString headers[kColumns] = {
        FromUtf8(kTextSurveyColTime.utf8), "CSQ", "CSQ dBm", grade, "RSRP", "RSRQ", "RSRP " + grade};
    return section >= 0 && section < kColumns ? headers[section] : QVariant();
}

void CSignalSampleModel::BeginAppend() {
    const int row = rowCount();
    beginInsertRows({}, row, row);
}
