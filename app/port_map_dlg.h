// "端口映射...": the user's port map (serial/port_map.h) shown and edited beside the serial devices present,
// each with its stable /dev/serial/by-id name where udev gave it one, which stays the same whichever
// socket or order the adapter is plugged in. Saving writes the whole map anew through WriteExportFile
// (0600, never through a link); lines of the file that were wrong are listed and are not kept. Linux
// only: where the system has no map (PortMapPath() is empty) the entry is not offered.
#pragma once

#include <QDialog>
#include <functional>
#include <string>
#include <vector>

#include "serial/port_map.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QTableWidget;

inline constexpr char kPortMapMenuText[] = "端口映射...";

class CPortMapDlg : public QDialog {
    Q_OBJECT
  public:
    // The map at PortMapPath(); devRoot: where the devices are listed from (tests give a tree of their own).
    explicit CPortMapDlg(QWidget* parent, std::string devRoot = "/dev");

    // Adds or replaces the name's entry.
    void AddEntry(int number, const QString& path);
    void RemoveSelectedEntry();
    void RefreshDevices();
    // Writes the map; false after telling the user why not.
    bool Save();

    QTableWidget* Devices() const { return m_devices; }
    QTableWidget* Entries() const { return m_entries; }
    QComboBox* PortChoice() const { return m_port; }
    QLineEdit* PathEdit() const { return m_path; }
    QLabel* ProblemsLabel() const { return m_problems; }

  private:
    void ShowEntries();
    void OnDeviceChosen();

    std::string m_mapPath;
    std::string m_devRoot;
    std::vector<PortMapEntry> m_map;
    QLabel* m_devicesLabel;
    QTableWidget* m_devices;
    QTableWidget* m_entries;
    QComboBox* m_port;
    QLineEdit* m_path;
    QLabel* m_problems;
};

// Adds "端口映射..." to menu where the system has a port map; onSaved runs after the map was saved.
void AddPortMapAction(QMenu& menu, QWidget* parent, std::function<void()> onSaved);
