#include "app/port_map_dlg.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <utility>

#include "app/export_file.h"
#include "app/layout_builder.h"
#include "app/message_box.h"

namespace {

// The names the window's port list offers.
constexpr int kListedPorts = 30;

QString FromStd(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QTableWidget* MakeTable(QWidget* parent, const QStringList& headers) {
    auto* table = new QTableWidget(0, static_cast<int>(headers.size()), parent);
    table->setHorizontalHeaderLabels(headers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->verticalHeader()->hide();
    table->horizontalHeader()->setStretchLastSection(true);
    return table;
}

void SetRow(QTableWidget* table, int row, const QStringList& cells) {
    for (int column = 0; column < cells.size(); ++column) {
        table->setItem(row, column, new QTableWidgetItem(cells[column]));
    }
}

}  // namespace

CPortMapDlg::CPortMapDlg(QWidget* parent, std::string devRoot)
    : QDialog(parent), m_mapPath(PortMapPath().value_or(std::string())), m_devRoot(std::move(devRoot)) {
    setWindowTitle("端口映射");
    setFont(DialogFont());
    resize(640, 460);
    m_devices = MakeTable(this, {"设备", "固定名称（/dev/serial/by-id）"});
    m_entries = MakeTable(this, {"端口", "设备路径"});
    m_port = new QComboBox(this);
    for (int n = 1; n <= kListedPorts; ++n) {
        m_port->addItem(QString("COM%1").arg(n), n);
    }
    m_path = new QLineEdit(this);
    m_path->setPlaceholderText("/dev/serial/by-id/...");
    m_problems = new QLabel(this);
    m_problems->setWordWrap(true);
    m_problems->setTextFormat(Qt::PlainText);
    auto* refresh = new QPushButton("刷新", this);
    auto* add = new QPushButton("添加", this);
    auto* remove = new QPushButton("删除", this);
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton("保存", QDialogButtonBox::AcceptRole);
    buttons->addButton("取消", QDialogButtonBox::RejectRole);

    auto* layout = new QVBoxLayout(this);
    auto* devicesRow = new QHBoxLayout;
    m_devicesLabel = new QLabel(this);
    devicesRow->addWidget(m_devicesLabel, 1);
    devicesRow->addWidget(refresh);
    layout->addLayout(devicesRow);
    layout->addWidget(m_devices, 1);
    layout->addWidget(new QLabel("端口映射（" + FromStd(m_mapPath) + "）：", this));
    layout->addWidget(m_entries, 1);
    auto* addRow = new QHBoxLayout;
    addRow->addWidget(m_port);
    addRow->addWidget(m_path, 1);
    addRow->addWidget(add);
    addRow->addWidget(remove);
    layout->addLayout(addRow);
    layout->addWidget(m_problems);
    layout->addWidget(buttons);

    connect(refresh, &QPushButton::clicked, this, &CPortMapDlg::RefreshDevices);
    connect(m_devices, &QTableWidget::cellDoubleClicked, this, &CPortMapDlg::OnDeviceChosen);
    connect(m_devices, &QTableWidget::itemSelectionChanged, this, &CPortMapDlg::OnDeviceChosen);
    connect(add, &QPushButton::clicked, this,
            [this] { AddEntry(m_port->currentData().toInt(), m_path->text().trimmed()); });
    connect(remove, &QPushButton::clicked, this, &CPortMapDlg::RemoveSelectedEntry);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] {
        if (Save()) {
            accept();
        }
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    const PortMap map = LoadPortMap();
    m_map = map.entries;
    QStringList problems;
    for (const PortMapProblem& problem : map.problems) {
        problems << FromStd(problem.text);
    }
    m_problems->setVisible(!problems.isEmpty());
    m_problems->setText("文件中有误、保存时不保留的行：\n" + problems.join('\n'));
    ShowEntries();
    RefreshDevices();
}

void CPortMapDlg::RefreshDevices() {
    const std::vector<SerialDevice> devices = ListSerialDevices(m_devRoot);
    m_devicesLabel->setText(devices.empty() ? "现有串口设备：未发现（插上后点“刷新”）"
                                            : "现有串口设备（选中即填入路径）：");
    m_devices->setRowCount(static_cast<int>(devices.size()));
    for (int row = 0; row < m_devices->rowCount(); ++row) {
        const SerialDevice& device = devices[static_cast<std::size_t>(row)];
        SetRow(m_devices, row, {FromStd(device.device), FromStd(device.byId)});
    }
}

void CPortMapDlg::OnDeviceChosen() {
    const int row = m_devices->currentRow();
    if (row < 0) {
        return;
    }
    // The stable name where there is one: it still names the adapter after a replug.
    const QString byId = m_devices->item(row, 1)->text();
    m_path->setText(byId.isEmpty() ? m_devices->item(row, 0)->text() : byId);
}

void CPortMapDlg::ShowEntries() {
    std::sort(m_map.begin(), m_map.end(),
              [](const PortMapEntry& a, const PortMapEntry& b) { return a.number < b.number; });
    m_entries->setRowCount(static_cast<int>(m_map.size()));
    for (int row = 0; row < m_entries->rowCount(); ++row) {
        const PortMapEntry& entry = m_map[static_cast<std::size_t>(row)];
        SetRow(m_entries, row, {QString("COM%1").arg(entry.number), FromStd(entry.path)});
    }
}

void CPortMapDlg::AddEntry(int number, const QString& path) {
    // The file's own rules judge the line, so what is saved reads back the same.
    const QString line = QString("COM%1 = %2").arg(number).arg(path);
    const PortMap parsed = ParsePortMap(line.toStdString());
    if (parsed.entries.size() != 1 || path.contains('\n')) {
        AppMessageBox(this, "设备路径须为绝对路径，例如 /dev/serial/by-id/...");
        return;
    }
    std::erase_if(m_map, [number](const PortMapEntry& entry) { return entry.number == number; });
    m_map.push_back(parsed.entries.front());
    ShowEntries();
}

void CPortMapDlg::RemoveSelectedEntry() {
    const int row = m_entries->currentRow();
    if (row >= 0 && row < static_cast<int>(m_map.size())) {
        m_map.erase(m_map.begin() + row);
        ShowEntries();
    }
}

bool CPortMapDlg::Save() {
    const QString path = FromStd(m_mapPath);
    const QFileInfo info(path);
    if (!info.dir().exists()) {
        if (!QDir().mkpath(info.absolutePath())) {
            AppMessageBox(this, "端口映射未能保存：" + info.absolutePath() + ": 无法创建");
            return false;
        }
        QFile::setPermissions(info.absolutePath(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    const ExportFileResult result = WriteExportFile(info.filesystemFilePath(), FormatPortMap(m_map));
    QString reason;
    switch (result.kind) {
        case ExportFileResult::Kind::Written:
            return true;
        case ExportFileResult::Kind::IsLink:
            reason = path + ": 是符号链接，未写入";
            break;
        case ExportFileResult::Kind::NotRegular:
            reason = path + ": 不是普通文件，未写入";
            break;
        case ExportFileResult::Kind::Failed:
            reason = FromStd(result.detail);
            break;
    }
    AppMessageBox(this, "端口映射未能保存：" + reason);
    return false;
}

void AddPortMapAction(QMenu& menu, QWidget* parent, std::function<void()> onSaved) {
    if (!PortMapPath()) {
        return;
    }
    menu.addAction(QString::fromUtf8(kPortMapMenuText), parent, [parent, onSaved] {
        CPortMapDlg dialog(parent);
        if (dialog.exec() == QDialog::Accepted && onSaved) {
            onSaved();
        }
    });
}
