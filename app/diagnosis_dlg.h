// "网络诊断": asks the device's module why the unit may be offline and which unit it is, and shows the
// answer as a table (item, value, meaning or grade, the module's raw answer escaped) under one verdict
// line. The runner of modem/ works on a worker thread over CThreadedModuleLink; this dialog starts it,
// and takes its result on the window's thread. The result can be copied or saved as text.
#pragma once

#include <QDialog>
#include <QElapsedTimer>
#include <QString>
#include <optional>
#include <string>
#include <thread>

#include "app/module_link.h"
#include "modem/diagnosis.h"

class QLabel;
class QPushButton;
class QTableWidget;

class CDiagnosisDlg : public QDialog {
    Q_OBJECT
  public:
    // recordApn: the APN of the record read from the unit (GBK), empty to leave the APN unchecked.
    CDiagnosisDlg(QWidget* parent, CModuleAsker& asker, std::string recordApn);
    ~CDiagnosisDlg() override;

    void Start();
    bool Running() const { return m_worker.joinable() && !m_result; }
    const std::optional<Diagnosis>& Result() const { return m_result; }
    // How long the last run took, from its start to its result shown; 0 while none has ended.
    qint64 RunMilliseconds() const { return m_runMs; }
    QString ResultText() const;
    QString VerdictText() const;
    QTableWidget* Table() const { return m_table; }

    void OnCopy();
    void OnSave();
    // Saves without asking for a name (the save button asks first).
    bool SaveTo(const QString& path);

  private:
    void ShowDiagnosis(const Diagnosis& diagnosis);
    void StopWorker();

    CModuleAsker& m_asker;
    std::string m_recordApn;
    CThreadedModuleLink m_link;
    std::thread m_worker;
    std::optional<Diagnosis> m_result;
    QElapsedTimer m_runClock;
    qint64 m_runMs = 0;
    QLabel* m_verdict = nullptr;
    QTableWidget* m_table = nullptr;
    QPushButton* m_copy = nullptr;
    QPushButton* m_save = nullptr;
    QPushButton* m_rerun = nullptr;
};
