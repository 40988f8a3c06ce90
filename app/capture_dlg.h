// The small dialog "记录到文件..." opens: which file, raw bytes or text lines with their times, whether
// sent bytes go in too (text only: a raw capture is the received bytes alone), new file or append.
#pragma once

#include <QDialog>
#include <QString>

#include "terminal/capture_writer.h"

class QCheckBox;
class QLineEdit;
class QRadioButton;

struct CaptureRequest {
    QString path;
    CaptureOptions options;
};

class CCaptureDlg : public QDialog {
    Q_OBJECT
  public:
    CCaptureDlg(QWidget* parent, const CaptureRequest& start);

    CaptureRequest Request() const;
    // For tests: the controls, as a user would fill them.
    QLineEdit* PathEdit() const { return m_path; }
    QRadioButton* RawButton() const { return m_raw; }
    QRadioButton* TextButton() const { return m_text; }
    QCheckBox* SentBox() const { return m_sent; }
    QRadioButton* AppendButton() const { return m_append; }

    void accept() override;

  private:
    void OnBrowse();
    void OnFormatChanged();

    QLineEdit* m_path;
    QRadioButton* m_raw;
    QRadioButton* m_text;
    QCheckBox* m_sent;
    QRadioButton* m_new;
    QRadioButton* m_append;
};
