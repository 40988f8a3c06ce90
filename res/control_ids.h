// Numeric identifiers of the main window's controls and resources. Every module addresses a control by
// these ids, never by a widget pointer, so the Qt-free cores and the window share one vocabulary.
#pragma once

enum ControlId : int {
    IDC_STATIC = -1,  // labels, lines and group boxes that nothing addresses

    IDC_PORT_COMBO = 1000,
    IDC_PORT_BAUD = 1001,
    IDC_PORT_PARITY = 1002,
    IDC_PORT_DATABITS = 1003,
    IDC_PORT_STOPBITS = 1004,
    IDC_OPEN_PORT = 1005,
    IDC_CLEAR_RECEIVE = 1006,
    IDC_STOP_DISPLAY = 1007,
    IDC_RECEIVE_EDIT = 1008,
    IDC_AUTO_CLEAR = 1009,
    IDC_READ_PARAMS = 1010,
    IDC_SEND_EDIT = 1011,
    IDC_CLEAR_SEND = 1012,
    IDC_MANUAL_SEND = 1013,
    IDC_HEX_SEND = 1014,
    IDC_AUTO_SEND = 1015,
    IDC_AUTO_SEND_PERIOD = 1016,
    IDC_CLEAR_COUNTERS = 1018,
    IDC_RX_COUNT = 1019,
    IDC_TX_COUNT = 1020,
    IDC_HEX_DISPLAY = 1022,
    IDC_SAVE_PARAMS = 1023,
    IDC_FACTORY_DEFAULTS = 1024,
    IDC_FIRMWARE_VERSION = 1025,
    IDC_NET_STATUS = 1026,
    IDC_REBOOT_PERIOD = 1027,
    IDC_HEARTBEAT_PERIOD = 1028,
    IDC_NETCHECK_PERIOD = 1029,
    IDC_DEVICE_ID = 1030,
    IDC_APN = 1031,
    IDC_APN_USER = 1032,
    IDC_APN_PASSWORD = 1033,
    IDC_LOCAL_IP = 1034,
    IDC_DEV_BAUD = 1035,
    IDC_DEV_DATABITS = 1036,
    IDC_DEV_STOPBITS = 1037,
    IDC_DEV_PARITY = 1038,
    IDC_PACK_MAX_LEN = 1039,
    IDC_PACK_MAX_TIME = 1040,
    IDC_REMOTE_ADDR1 = 1041,
    IDC_REMOTE_ADDR2 = 1042,
    IDC_REMOTE_ADDR3 = 1043,
    IDC_REMOTE_ADDR4 = 1044,
    IDC_REMOTE_ADDR5 = 1045,
    IDC_REMOTE_ADDR6 = 1046,
    IDC_REMOTE_PORT1 = 1047,
    IDC_REMOTE_PORT2 = 1048,
    IDC_REMOTE_PORT3 = 1049,
    IDC_REMOTE_PORT4 = 1050,
    IDC_REMOTE_PORT5 = 1051,
    IDC_REMOTE_PORT6 = 1052,
    IDC_DNS = 1053,
    IDC_DNS_PERIOD = 1054,
    IDC_COMM_MODE = 1055,
    IDC_COMM_TYPE = 1056,
    IDC_DEBUG_TOGGLE = 1057,
    IDC_REBOOT_DEVICE = 1058,
    IDC_TERMINAL_GROUP = 1059,
    IDC_NET_STATUS_LABEL = 1060,
    IDC_LINK_STATE1 = 1061,
    IDC_LINK_STATE2 = 1062,
    IDC_LINK_STATE3 = 1063,
    IDC_LINK_STATE4 = 1064,
    IDC_LINK_STATE5 = 1065,
    IDC_LINK_STATE6 = 1066,
    IDC_POSITIONING = 1069,
    IDC_SIGNAL = 1071,
    IDC_MODULE_TYPE = 1072,
    IDC_MODULE_TYPE_LABEL = 1073,
    IDC_DEVICE_TYPE_LABEL = 1074,
    IDC_DEVICE_ID_LABEL = 1075,
    IDC_HEARTBEAT_LABEL = 1076,
    IDC_NETCHECK_LABEL = 1077,
    IDC_DEVICE_TYPE = 1078,
};

// Remote link n (1..6) is addressed by base + n.
constexpr int RemoteAddrId(int n) {
    return 1040 + n;
}
constexpr int RemotePortId(int n) {
    return 1046 + n;
}
constexpr int LinkStateId(int n) {
    return 1060 + n;
}

enum ResourceId : int {
    IDD_ABOUTBOX = 100,
    IDS_ABOUTBOX = 101,
    IDD_MAIN = 102,
    IDR_MAINFRAME = 128,
    IDM_ABOUTBOX = 16,
};
