#include "res/main_layout.h"

#include <algorithm>
#include <array>

namespace {

using K = ControlKind;

constexpr LayoutItem kRows[] = {
    // number, id, name, kind, caption, {x, y, w, h}, flags
    {1, IDC_TERMINAL_GROUP, "IDC_TERMINAL_GROUP", K::GroupBox, "串口调试助手", {368, 7, 223, 365}, kNoFlags},
    {2, IDC_PORT_COMBO, "IDC_PORT_COMBO", K::DropDownList, "", {39, 350, 42, 62}, kNoFlags},
    {3, IDC_PORT_BAUD, "IDC_PORT_BAUD", K::DropDownList, "", {113, 350, 38, 62}, kNoFlags},
    {4, IDC_PORT_PARITY, "IDC_PORT_PARITY", K::DropDownList, "", {221, 350, 33, 50}, kNoFlags},
    {5, IDC_PORT_DATABITS, "IDC_PORT_DATABITS", K::DropDownList, "", {254, 350, 21, 54}, kNoFlags},
    {6, IDC_PORT_STOPBITS, "IDC_PORT_STOPBITS", K::DropDownList, "", {274, 350, 19, 50}, kNoFlags},
    {7, IDC_STATIC, "", K::Label, "串口号", {13, 352, 25, 8}, kNoFlags},
    {8, IDC_STATIC, "", K::Label, "波特率", {85, 352, 25, 8}, kNoFlags},
    {9, IDC_STATIC, "", K::Label, "校验/数据/停止位", {156, 352, 65, 8}, kNoFlags},
    {10, IDC_OPEN_PORT, "IDC_OPEN_PORT", K::PushButton, "打开串口", {298, 347, 50, 18}, kNoFlags},
    {11, IDC_CLEAR_RECEIVE, "IDC_CLEAR_RECEIVE", K::PushButton, "清空接收区", {374, 23, 50, 14}, kNoFlags},
    {12, IDC_STOP_DISPLAY, "IDC_STOP_DISPLAY", K::PushButton, "停止显示", {425, 23, 50, 14}, kNoFlags},
    {13, IDC_RECEIVE_EDIT, "IDC_RECEIVE_EDIT", K::MultiLineEdit, "", {374, 37, 212, 127}, kNoFlags},
    {14, IDC_AUTO_CLEAR, "IDC_AUTO_CLEAR", K::CheckBox, "自动清空", {478, 26, 48, 10}, kNoFlags},
    {15, IDC_SEND_EDIT, "IDC_SEND_EDIT", K::MultiLineEdit, "", {374, 193, 212, 129}, kNoFlags},
    {16, IDC_CLEAR_SEND, "IDC_CLEAR_SEND", K::PushButton, "发送区清空重填", {374, 178, 72, 14}, kNoFlags},
    {17, IDC_MANUAL_SEND, "IDC_MANUAL_SEND", K::PushButton, "手动发送", {531, 328, 50, 14}, kNoFlags},
    {18, IDC_HEX_SEND, "IDC_HEX_SEND", K::CheckBox, "十六进制发送", {522, 181, 64, 10}, kNoFlags},
    {19, IDC_AUTO_SEND, "IDC_AUTO_SEND", K::CheckBox, "自动发送", {375, 328, 48, 10}, kNoFlags},
    {20, IDC_AUTO_SEND_PERIOD, "IDC_AUTO_SEND_PERIOD", K::Edit, "", {425, 326, 40, 14}, kNoFlags},
    {21, IDC_TX_COUNT, "IDC_TX_COUNT", K::SunkenText, "TX:", {398, 350, 45, 14}, kNoFlags},
    {22, IDC_RX_COUNT, "IDC_RX_COUNT", K::SunkenText, "RX:0", {473, 350, 45, 13}, kNoFlags},
    {23, IDC_CLEAR_COUNTERS, "IDC_CLEAR_COUNTERS", K::PushButton, "计数清零", {531, 350, 50, 14}, kNoFlags},
    {24, IDC_HEX_DISPLAY, "IDC_HEX_DISPLAY", K::CheckBox, "十六进制", {532, 26, 48, 10}, kNoFlags},
    {25, IDC_STATIC, "", K::Label, "发送", {376, 353, 18, 8}, kNoFlags},
    {26, IDC_STATIC, "", K::Label, "接收", {451, 352, 17, 8}, kNoFlags},
    {27, IDC_STATIC, "", K::Label, "毫秒", {468, 328, 17, 8}, kNoFlags},
    {28, IDC_READ_PARAMS, "IDC_READ_PARAMS", K::PushButton, "读取参数", {45, 303, 50, 18}, kNoFlags},
    {29, IDC_SAVE_PARAMS, "IDC_SAVE_PARAMS", K::PushButton, "保存参数", {101, 303, 50, 18}, kNoFlags},
    {30,
     IDC_FACTORY_DEFAULTS,
     "IDC_FACTORY_DEFAULTS",
     K::PushButton,
     "恢复出厂设置",
     {159, 303, 62, 18},
     kNoFlags},
    {31, IDC_STATIC, "", K::Label, "固件版本", {229, 21, 43, 9}, kNoFlags},
    {32, IDC_FIRMWARE_VERSION, "IDC_FIRMWARE_VERSION", K::Edit, "", {269, 20, 73, 13}, kDisabled},
    {33, IDC_NET_STATUS_LABEL, "IDC_NET_STATUS_LABEL", K::Label, "网络状态", {125, 41, 33, 8}, kNoFlags},
    {34, IDC_NET_STATUS, "IDC_NET_STATUS", K::Edit, "", {164, 40, 45, 13}, kDisabled},
    {35, IDC_STATIC, "", K::Label, "自动重启周期", {14, 270, 49, 8}, kNoFlags},
    {36, IDC_REBOOT_PERIOD, "IDC_REBOOT_PERIOD", K::NumberEdit, "", {76, 265, 49, 14}, kNoFlags},
    {37, IDC_HEARTBEAT_LABEL, "IDC_HEARTBEAT_LABEL", K::Label, "心跳包周期", {13, 238, 54, 8}, kNoFlags},
    {38, IDC_HEARTBEAT_PERIOD, "IDC_HEARTBEAT_PERIOD", K::NumberEdit, "", {76, 234, 49, 14}, kNoFlags},
    {39, IDC_NETCHECK_LABEL, "IDC_NETCHECK_LABEL", K::Label, "网络检测周期", {13, 253, 49, 8}, kNoFlags},
    {40, IDC_NETCHECK_PERIOD, "IDC_NETCHECK_PERIOD", K::NumberEdit, "", {76, 250, 49, 14}, kNoFlags},
    {41, IDC_DEVICE_ID_LABEL, "IDC_DEVICE_ID_LABEL", K::Label, "设备ID号", {14, 222, 33, 8}, kNoFlags},
    {42, IDC_DEVICE_ID, "IDC_DEVICE_ID", K::Edit, "", {55, 218, 70, 14}, kNoFlags},
    {43, IDC_STATIC, "", K::Label, "APN", {13, 74, 13, 8}, kNoFlags},
    {44, IDC_APN, "IDC_APN", K::Edit, "", {75, 72, 50, 14}, kNoFlags},
    {45, IDC_STATIC, "", K::Label, "用户名", {13, 90, 25, 8}, kNoFlags},
    {46, IDC_APN_USER, "IDC_APN_USER", K::Edit, "", {75, 89, 50, 14}, kNoFlags},
    {47, IDC_STATIC, "", K::Label, "密码", {13, 105, 17, 8}, kNoFlags},
    {48, IDC_APN_PASSWORD, "IDC_APN_PASSWORD", K::Edit, "", {75, 105, 50, 14}, kNoFlags},
    {49, IDC_STATIC, "", K::Label, "本机IP", {229, 41, 25, 8}, kNoFlags},
    {50, IDC_LOCAL_IP, "IDC_LOCAL_IP", K::Edit, "", {269, 39, 73, 14}, kDisabled},
    {51, IDC_STATIC, "", K::Label, "波特率", {13, 143, 25, 8}, kNoFlags},
    {52, IDC_DEV_BAUD, "IDC_DEV_BAUD", K::DropDownCombo, "", {75, 141, 50, 69}, kNoFlags},
    {53, IDC_STATIC, "", K::Label, "数据位", {13, 159, 25, 8}, kNoFlags},
    {54, IDC_DEV_DATABITS, "IDC_DEV_DATABITS", K::DropDownCombo, "", {75, 156, 50, 52}, kNoFlags},
    {55, IDC_DEV_STOPBITS, "IDC_DEV_STOPBITS", K::DropDownCombo, "", {75, 171, 50, 45}, kNoFlags},
    {56, IDC_DEV_PARITY, "IDC_DEV_PARITY", K::DropDownCombo, "", {75, 186, 50, 41}, kNoFlags},
    {57, IDC_STATIC, "", K::Label, "打包最大长度", {148, 125, 49, 8}, kNoFlags},
    {58, IDC_PACK_MAX_LEN, "IDC_PACK_MAX_LEN", K::NumberEdit, "", {208, 122, 33, 14}, kNoFlags},
    {59, IDC_STATIC, "", K::Label, "打包最长时间", {148, 142, 49, 8}, kNoFlags},
    {60, IDC_PACK_MAX_TIME, "IDC_PACK_MAX_TIME", K::NumberEdit, "", {208, 139, 33, 14}, kNoFlags},
    {61, IDC_STATIC, "", K::Label, "远程地址和端口1", {148, 181, 64, 8}, kNoFlags},
    {62, IDC_REMOTE_ADDR1, "IDC_REMOTE_ADDR1", K::Edit, "", {219, 178, 71, 14}, kNoFlags},
    {63, IDC_STATIC, "", K::Label, "远程地址和端口2", {148, 198, 64, 8}, kNoFlags},
    {64, IDC_REMOTE_ADDR2, "IDC_REMOTE_ADDR2", K::Edit, "", {219, 195, 71, 14}, kNoFlags},
    {65, IDC_STATIC, "", K::Label, "远程地址和端口3", {148, 215, 64, 8}, kNoFlags},
    {66, IDC_REMOTE_ADDR3, "IDC_REMOTE_ADDR3", K::Edit, "", {219, 212, 71, 14}, kNoFlags},
    {67, IDC_STATIC, "", K::Label, "远程地址和端口4", {148, 232, 64, 8}, kNoFlags},
    {68, IDC_REMOTE_ADDR4, "IDC_REMOTE_ADDR4", K::Edit, "", {219, 229, 71, 14}, kNoFlags},
    {69, IDC_STATIC, "", K::Label, "远程地址和端口5", {148, 249, 64, 8}, kNoFlags},
    {70, IDC_REMOTE_ADDR5, "IDC_REMOTE_ADDR5", K::Edit, "", {219, 246, 71, 14}, kNoFlags},
    {71, IDC_STATIC, "", K::Label, "远程地址和端口6", {148, 266, 64, 8}, kNoFlags},
    {72, IDC_REMOTE_ADDR6, "IDC_REMOTE_ADDR6", K::Edit, "", {219, 263, 71, 14}, kNoFlags},
    {73, IDC_REMOTE_PORT1, "IDC_REMOTE_PORT1", K::NumberEdit, "", {295, 178, 32, 14}, kNoFlags},
    {74, IDC_REMOTE_PORT2, "IDC_REMOTE_PORT2", K::NumberEdit, "", {295, 195, 32, 14}, kNoFlags},
    {75, IDC_REMOTE_PORT3, "IDC_REMOTE_PORT3", K::NumberEdit, "", {295, 212, 32, 14}, kNoFlags},
    {76, IDC_REMOTE_PORT4, "IDC_REMOTE_PORT4", K::NumberEdit, "", {295, 229, 32, 14}, kNoFlags},
    {77, IDC_REMOTE_PORT5, "IDC_REMOTE_PORT5", K::NumberEdit, "", {295, 246, 32, 14}, kNoFlags},
    {78, IDC_REMOTE_PORT6, "IDC_REMOTE_PORT6", K::NumberEdit, "", {295, 263, 32, 14}, kNoFlags},
    {79, IDC_STATIC, "", K::Label, "DNS", {253, 125, 13, 8}, kNoFlags},
    {80, IDC_DNS, "IDC_DNS", K::Edit, "", {288, 122, 62, 14}, kNoFlags},
    {81, IDC_STATIC, "", K::Label, "DNS更新周期", {252, 142, 45, 8}, kNoFlags},
    {82, IDC_DNS_PERIOD, "IDC_DNS_PERIOD", K::NumberEdit, "", {309, 139, 40, 14}, kNoFlags},
    {83, IDC_STATIC, "", K::Label, "通讯模式", {148, 74, 33, 8}, kNoFlags},
    {84, IDC_COMM_MODE, "IDC_COMM_MODE", K::DropDownCombo, "", {195, 72, 48, 40}, kNoFlags},
    {85, IDC_STATIC, "", K::Label, "通讯类型", {252, 74, 33, 8}, kNoFlags},
    {86, IDC_COMM_TYPE, "IDC_COMM_TYPE", K::DropDownCombo, "", {301, 72, 48, 39}, kNoFlags},
    {87, IDC_STATIC, "", K::Label, "停止位", {13, 175, 25, 8}, kNoFlags},
    {88, IDC_STATIC, "", K::Label, "校验位", {13, 191, 25, 8}, kNoFlags},
    {89, IDC_STATIC, "", K::GroupBox, "", {141, 112, 215, 50}, kNoFlags},
    {90, IDC_STATIC, "", K::EtchedLine, "", {6, 332, 349, 1}, kNoFlags},
    {91, IDC_STATIC, "", K::EtchedLine, "", {6, 293, 351, 1}, kNoFlags},
    {92, IDC_STATIC, "", K::GroupBox, "", {6, 337, 350, 35}, kNoFlags},
    {93, IDC_STATIC, "", K::GroupBox, "", {6, 7, 350, 51}, kNoFlags},
    {94, IDC_STATIC, "", K::GroupBox, "", {141, 163, 215, 122}, kNoFlags},
    {95, IDC_STATIC, "", K::GroupBox, "", {6, 60, 127, 65}, kNoFlags},
    {96, IDC_STATIC, "", K::GroupBox, "", {6, 130, 127, 75}, kNoFlags},
    {97, IDC_STATIC, "", K::GroupBox, "", {6, 208, 127, 78}, kNoFlags},
    {98, IDC_STATIC, "", K::GroupBox, "", {141, 60, 215, 50}, kNoFlags},
    {99, IDC_DEBUG_TOGGLE, "IDC_DEBUG_TOGGLE", K::PushButton, "调试>>", {319, 303, 37, 17}, kNoFlags},
    {100, IDC_LINK_STATE1, "IDC_LINK_STATE1", K::Label, "×", {333, 180, 13, 8}, kNoFlags},
    {101, IDC_LINK_STATE2, "IDC_LINK_STATE2", K::Label, "×", {333, 198, 12, 8}, kNoFlags},
    {102, IDC_LINK_STATE3, "IDC_LINK_STATE3", K::Label, "×", {333, 215, 12, 8}, kNoFlags},
    {103, IDC_LINK_STATE4, "IDC_LINK_STATE4", K::Label, "×", {333, 232, 12, 8}, kNoFlags},
    {104, IDC_LINK_STATE5, "IDC_LINK_STATE5", K::Label, "×", {333, 248, 12, 8}, kNoFlags},
    {105, IDC_LINK_STATE6, "IDC_LINK_STATE6", K::Label, "×", {333, 266, 12, 8}, kNoFlags},
    {106, IDC_REBOOT_DEVICE, "IDC_REBOOT_DEVICE", K::PushButton, "重启设备", {228, 303, 62, 18}, kNoFlags},
    {107, IDC_STATIC, "", K::Label, "定位功能", {148, 94, 33, 8}, kNoFlags},
    {108, IDC_POSITIONING, "IDC_POSITIONING", K::DropDownCombo, "", {196, 92, 48, 40}, kNoFlags},
    {109, IDC_SIGNAL, "IDC_SIGNAL", K::Edit, "", {49, 39, 54, 13}, kDisabled},
    {110, IDC_STATIC, "", K::Label, "信号强度", {13, 41, 33, 9}, kNoFlags},
    {111, IDC_DEVICE_TYPE_LABEL, "IDC_DEVICE_TYPE_LABEL", K::Label, "设备类型", {125, 22, 43, 9}, kNotify},
    {112, IDC_MODULE_TYPE_LABEL, "IDC_MODULE_TYPE_LABEL", K::Label, "模组类型", {13, 21, 43, 9}, kNoFlags},
    {113, IDC_MODULE_TYPE, "IDC_MODULE_TYPE", K::Edit, "", {49, 19, 54, 13}, kDisabled},
    {114, IDC_DEVICE_TYPE, "IDC_DEVICE_TYPE", K::DropDownCombo, "", {163, 19, 48, 39}, kDisabled},
};

constexpr std::string_view kPortItems[] = {
    "COM1",  "COM2",  "COM3",  "COM4",  "COM5",  "COM6",  "COM7",  "COM8",  "COM9",  "COM10",
    "COM11", "COM12", "COM13", "COM14", "COM15", "COM16", "COM17", "COM18", "COM19", "COM20",
    "COM21", "COM22", "COM23", "COM24", "COM25", "COM26", "COM27", "COM28", "COM29", "COM30",
};
constexpr std::string_view kPortBaudItems[] = {"300",   "600",   "1200",  "2400",  "4800",  "9600",
                                               "19200", "38400", "43000", "56000", "57600", "115200"};
constexpr std::string_view kParityItems[] = {"NONE", "ODD", "EVEN"};
constexpr std::string_view kPortDataBitsItems[] = {"8", "7"};
constexpr std::string_view kPortStopBitsItems[] = {"1", "2"};
constexpr std::string_view kDevBaudItems[] = {"300",   "600",   "1200",  "2400",   "4800",  "9600",
                                              "19200", "38400", "57600", "115200", "230400"};
constexpr std::string_view kDevStopBitsItems[] = {"0", "1", "2"};
constexpr std::string_view kCommModeItems[] = {"透明", "非透明"};
constexpr std::string_view kCommTypeItems[] = {"TCP",  "UDP",   "TCP Server", "UDP Server",
                                               "短信", "Modem", "彩信",       "邮件"};
constexpr std::string_view kPositioningItems[] = {"关闭", "开启"};
constexpr std::string_view kDeviceTypeItems[] = {"DTU", "温湿度"};

constexpr ItemList kLists[] = {
    {IDC_PORT_COMBO, kPortItems},
    {IDC_PORT_BAUD, kPortBaudItems},
    {IDC_PORT_PARITY, kParityItems},
    {IDC_PORT_DATABITS, kPortDataBitsItems},
    {IDC_PORT_STOPBITS, kPortStopBitsItems},
    {IDC_DEV_BAUD, kDevBaudItems},
    {IDC_DEV_DATABITS, kPortDataBitsItems},
    {IDC_DEV_STOPBITS, kDevStopBitsItems},
    {IDC_DEV_PARITY, kParityItems},
    {IDC_COMM_MODE, kCommModeItems},
    {IDC_COMM_TYPE, kCommTypeItems},
    {IDC_POSITIONING, kPositioningItems},
    {IDC_DEVICE_TYPE, kDeviceTypeItems},
};

}  // namespace

std::span<const LayoutItem> MainLayout() {
    return kRows;
}

std::span<const ItemList> MainItemLists() {
    return kLists;
}

const LayoutItem* FindLayoutItem(int id) {
    if (id == IDC_STATIC) {
        return nullptr;
    }
    const auto* it = std::find_if(std::begin(kRows), std::end(kRows),
                                  [id](const LayoutItem& row) { return row.id == id; });
    return it == std::end(kRows) ? nullptr : it;
}
