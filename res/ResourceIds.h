#pragma once
// Resource ids of the dialogs, controls, strings, icons and commands. The
// code names resources only by these ids; the texts and layouts behind them
// exist once per interface language.

// Dialog templates
inline constexpr int IDD_ABOUTBOX = 100;
inline constexpr int IDD_PRINTERTEST_DIALOG = 102;
inline constexpr int IDD_STATUS_DIALOG = 131;

// Icons
inline constexpr int IDR_MAINFRAME = 128;
inline constexpr int IDI_STATE_BAD = 132;
inline constexpr int IDI_STATE_GOOD = 133;
inline constexpr int IDI_STATE_IDLE = 134;

// System-menu commands
inline constexpr int IDM_ABOUTBOX = 0x0010;
inline constexpr int IDM_EXCHANGE_LOG = 0x0020;  // opens the exchange log window

// Standard buttons
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;

// Console controls
inline constexpr int IDC_IP_TARGET = 1002;      // the printer the console talks to
inline constexpr int IDC_IP_NEW = 1003;         // the address Set IP gives the printer
inline constexpr int IDC_SET_IP = 1004;
inline constexpr int IDC_PRINT = 1005;
inline constexpr int IDC_CASH_DRAWER = 1006;
inline constexpr int IDC_CUT_PAPER = 1007;
inline constexpr int IDC_RADIO_MANUAL = 1010;   // "Setting IP Connection"
inline constexpr int IDC_RADIO_AUTO = 1011;     // "Auto Get Printer IP Address"
inline constexpr int IDC_PRINTER_LIST = 1012;
inline constexpr int IDC_MAC = 1013;
inline constexpr int IDC_SET_MAC = 1014;
inline constexpr int IDC_INIT_PRINTER = 1015;
inline constexpr int IDC_OTHER_HEX = 1018;
inline constexpr int IDC_OTHER_SET = 1019;
inline constexpr int IDC_TEST_PAGE = 1020;
inline constexpr int IDC_GET_STATUS = 1022;     // console: opens the monitor; monitor: the monitor toggle
inline constexpr int IDC_PROGRESS = 1030;
inline constexpr int IDC_TEST_CONNECTION = 1031;

// Status monitor indicators
inline constexpr int IDC_IND_ONLINE = 1023;
inline constexpr int IDC_IND_BUSY = 1024;
inline constexpr int IDC_IND_PAPER = 1025;
inline constexpr int IDC_IND_PAUSE = 1026;
inline constexpr int IDC_IND_COVER = 1027;
inline constexpr int IDC_IND_TEMP = 1028;

// Strings
inline constexpr int IDS_ABOUTBOX = 101;
inline constexpr int IDS_CURRENT_IP = 102;
inline constexpr int IDS_CANT_CONNECT = 104;
inline constexpr int IDS_MAC_LENGTH = 105;
inline constexpr int IDS_MONITOR_START = 112;
inline constexpr int IDS_MONITOR_STOP = 113;
inline constexpr int IDS_ONLINE = 114;
inline constexpr int IDS_OFFLINE = 115;
inline constexpr int IDS_COVER_CLOSED = 116;
inline constexpr int IDS_COVER_OPEN = 117;
inline constexpr int IDS_TEMP_OK = 118;
inline constexpr int IDS_TEMP_OVER = 119;
inline constexpr int IDS_PRINT_ALLOWED = 120;
inline constexpr int IDS_PAUSED = 121;
inline constexpr int IDS_IDLE = 122;
inline constexpr int IDS_BUSY = 123;
inline constexpr int IDS_PAPER_OK = 124;
inline constexpr int IDS_PAPER_END = 125;
inline constexpr int IDS_CONNECT_OK = 126;
inline constexpr int IDS_SEARCH_START = 127;
inline constexpr int IDS_SET_IP_SUCCESS = 128;
inline constexpr int IDS_SET_IP_FAILED = 129;

// The exchange log window: its menu item, window and report texts, and the
// outcome of an exchange in words (%1, %2, %3 are filled in)
inline constexpr int IDS_LOG_MENU = 300;
inline constexpr int IDS_LOG_TITLE = 301;
inline constexpr int IDS_LOG_COL_TIME = 302;
inline constexpr int IDS_LOG_COL_PRINTER = 303;
inline constexpr int IDS_LOG_COL_SENT = 304;
inline constexpr int IDS_LOG_COL_BYTES = 305;
inline constexpr int IDS_LOG_COL_REPLY = 306;
inline constexpr int IDS_LOG_COL_OUTCOME = 307;
inline constexpr int IDS_LOG_COL_MS = 308;
inline constexpr int IDS_LOG_CLEAR = 309;
inline constexpr int IDS_LOG_COPY = 310;
inline constexpr int IDS_LOG_SAVE = 311;
inline constexpr int IDS_LOG_COUNT = 312;
inline constexpr int IDS_LOG_SAVED = 313;
inline constexpr int IDS_LOG_SAVE_FAILED = 314;
inline constexpr int IDS_LOG_FAILED = 315;
inline constexpr int IDS_LOG_PROBE = 316;
inline constexpr int IDS_LOG_SWEEP = 317;
inline constexpr int IDS_LOG_FOUND = 318;
inline constexpr int IDS_LOG_EMPTY_TEXT = 319;
inline constexpr int IDS_LOG_REPORT_TITLE = 320;
inline constexpr int IDS_LOG_REPORT_DATE = 321;
inline constexpr int IDS_LOG_REPORT_TARGET = 322;
inline constexpr int IDS_LOG_REPORT_LANGUAGE = 323;
inline constexpr int IDS_LOG_LANGUAGE_NAME = 324;
inline constexpr int IDS_LOG_REPORT_RECORDS = 325;
inline constexpr int IDS_OUT_OK = 330;
inline constexpr int IDS_OUT_REPLY = 331;
inline constexpr int IDS_OUT_CONNECTED = 332;
inline constexpr int IDS_OUT_SWEEP_FOUND = 333;
inline constexpr int IDS_OUT_SWEEP_NONE = 334;
inline constexpr int IDS_OUT_REFUSED = 335;
inline constexpr int IDS_OUT_TIMEOUT = 336;
inline constexpr int IDS_OUT_UNREACHABLE = 337;
inline constexpr int IDS_OUT_CLOSED = 338;
inline constexpr int IDS_OUT_CLOSED_NO_REPLY = 339;
inline constexpr int IDS_OUT_INCOMPLETE = 340;
inline constexpr int IDS_OUT_NO_REPLY = 341;
inline constexpr int IDS_OUT_LIB_NOT_STARTED = 342;
inline constexpr int IDS_OUT_LIB_VERSION = 343;
inline constexpr int IDS_OUT_LIB_NO_SOCKET = 344;
inline constexpr int IDS_OUT_BAD_ADDRESS = 345;
