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
inline constexpr int IDC_IP_TARGET = 1002;  // the printer the console talks to
inline constexpr int IDC_IP_NEW = 1003;     // the address Set IP gives the printer
inline constexpr int IDC_SET_IP = 1004;
inline constexpr int IDC_PRINT = 1005;
inline constexpr int IDC_CASH_DRAWER = 1006;
inline constexpr int IDC_CUT_PAPER = 1007;
inline constexpr int IDC_RADIO_MANUAL = 1010;  // "Setting IP Connection"
inline constexpr int IDC_RADIO_AUTO = 1011;    // "Auto Get Printer IP Address"
inline constexpr int IDC_PRINTER_LIST = 1012;
inline constexpr int IDC_MAC = 1013;
inline constexpr int IDC_SET_MAC = 1014;
inline constexpr int IDC_INIT_PRINTER = 1015;
inline constexpr int IDC_OTHER_HEX = 1018;
inline constexpr int IDC_OTHER_SET = 1019;
inline constexpr int IDC_TEST_PAGE = 1020;
inline constexpr int IDC_GET_STATUS = 1022;  // console: opens the monitor; monitor: the monitor toggle
inline constexpr int IDC_PROGRESS = 1030;
inline constexpr int IDC_TEST_CONNECTION = 1031;

// Status monitor indicators
inline constexpr int IDC_IND_ONLINE = 1023;
inline constexpr int IDC_IND_BUSY = 1024;
inline constexpr int IDC_IND_PAPER = 1025;
inline constexpr int IDC_IND_PAUSE = 1026;
inline constexpr int IDC_IND_COVER = 1027;
inline constexpr int IDC_IND_TEMP = 1028;
inline constexpr int IDC_STATUS_LINE = 1029;  // what the last poll read, and when

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
// Settings refused before anything is sent: a MAC or a new address no station may have
inline constexpr int IDS_MAC_NOT_FOR_A_STATION = 140;
inline constexpr int IDS_NEW_IP_NOT_FOR_A_STATION = 141;

// Status monitor: the status line, the lamps' tooltips and the change records
inline constexpr int IDS_STATUS_NOT_POLLED = 300;
inline constexpr int IDS_STATUS_ANSWERED = 301;
inline constexpr int IDS_STATUS_NO_BYTES = 302;
inline constexpr int IDS_STATUS_NO_ANSWER = 303;
inline constexpr int IDS_CAUSE_REFUSED = 304;
inline constexpr int IDS_CAUSE_NO_ANSWER = 305;
inline constexpr int IDS_CAUSE_HOST_UNREACHABLE = 306;
inline constexpr int IDS_CAUSE_NET_UNREACHABLE = 307;
inline constexpr int IDS_CAUSE_CONNECT_FAILED = 308;
inline constexpr int IDS_CAUSE_BAD_ADDRESS = 309;
inline constexpr int IDS_CAUSE_NO_NETWORK = 310;
inline constexpr int IDS_CAUSE_SEND_INCOMPLETE = 311;
inline constexpr int IDS_TIP_BYTE = 312;
inline constexpr int IDS_TIP_BYTE_MISSING = 313;
inline constexpr int IDS_TIP_BIT = 314;
inline constexpr int IDS_TIP_BITS = 315;
inline constexpr int IDS_FIELD_COVER = 316;
inline constexpr int IDS_FIELD_BUSY = 317;
inline constexpr int IDS_FIELD_TEMP = 318;
inline constexpr int IDS_FIELD_PAUSE = 319;
inline constexpr int IDS_FIELD_PAPER = 320;
inline constexpr int IDS_FIELD_NOT_USED = 321;
inline constexpr int IDS_CHANGE_OFFLINE = 322;
inline constexpr int IDS_CHANGE_ONLINE = 323;
inline constexpr int IDS_CHANGE_COVER_OPENED = 324;
inline constexpr int IDS_CHANGE_COVER_CLOSED = 325;
inline constexpr int IDS_CHANGE_BUSY = 326;
inline constexpr int IDS_CHANGE_BUSY_CLEARED = 327;
inline constexpr int IDS_CHANGE_TEMP_OVER = 328;
inline constexpr int IDS_CHANGE_TEMP_CLEARED = 329;
inline constexpr int IDS_CHANGE_PAUSED = 330;
inline constexpr int IDS_CHANGE_PAUSE_CLEARED = 331;
inline constexpr int IDS_CHANGE_PAPER_END = 332;
inline constexpr int IDS_CHANGE_PAPER_CLEARED = 333;
inline constexpr int IDS_CHANGE_NOT_READ = 334;
inline constexpr int IDS_CAUSE_CLOSED = 335;
// A condition whose status byte did not arrive (printertest's status line)
inline constexpr int IDS_COVER_UNKNOWN = 336;
inline constexpr int IDS_BUSY_UNKNOWN = 337;
inline constexpr int IDS_TEMP_UNKNOWN = 338;
inline constexpr int IDS_PAUSE_UNKNOWN = 339;
inline constexpr int IDS_PAPER_UNKNOWN = 340;

// The exchange log window: its menu item, window and report texts, and the
// outcome of an exchange in words (%1, %2, %3 are filled in)
inline constexpr int IDS_LOG_MENU = 400;
inline constexpr int IDS_LOG_TITLE = 401;
inline constexpr int IDS_LOG_COL_TIME = 402;
inline constexpr int IDS_LOG_COL_PRINTER = 403;
inline constexpr int IDS_LOG_COL_SENT = 404;
inline constexpr int IDS_LOG_COL_BYTES = 405;
inline constexpr int IDS_LOG_COL_REPLY = 406;
inline constexpr int IDS_LOG_COL_OUTCOME = 407;
inline constexpr int IDS_LOG_COL_MS = 408;
inline constexpr int IDS_LOG_CLEAR = 409;
inline constexpr int IDS_LOG_COPY = 410;
inline constexpr int IDS_LOG_SAVE = 411;
inline constexpr int IDS_LOG_COUNT = 412;
inline constexpr int IDS_LOG_SAVED = 413;
inline constexpr int IDS_LOG_SAVE_FAILED = 414;
inline constexpr int IDS_LOG_FAILED = 415;
inline constexpr int IDS_LOG_PROBE = 416;
inline constexpr int IDS_LOG_SWEEP = 417;
inline constexpr int IDS_LOG_FOUND = 418;
inline constexpr int IDS_LOG_EMPTY_TEXT = 419;
inline constexpr int IDS_LOG_REPORT_TITLE = 420;
inline constexpr int IDS_LOG_REPORT_DATE = 421;
inline constexpr int IDS_LOG_REPORT_TARGET = 422;
inline constexpr int IDS_LOG_REPORT_LANGUAGE = 423;
inline constexpr int IDS_LOG_LANGUAGE_NAME = 424;
inline constexpr int IDS_LOG_REPORT_RECORDS = 425;
// A found printer's card, from the neighbour table: the sweep list's tooltips and the log's found list
inline constexpr int IDS_SWEEP_MAC = 426;
inline constexpr int IDS_SWEEP_ROUTED = 427;
inline constexpr int IDS_SWEEP_LOCAL = 428;
inline constexpr int IDS_SWEEP_NO_TABLE = 429;
inline constexpr int IDS_OUT_OK = 430;
inline constexpr int IDS_OUT_REPLY = 431;
inline constexpr int IDS_OUT_CONNECTED = 432;
inline constexpr int IDS_OUT_SWEEP_FOUND = 433;
inline constexpr int IDS_OUT_SWEEP_NONE = 434;
inline constexpr int IDS_OUT_REFUSED = 435;
inline constexpr int IDS_OUT_TIMEOUT = 436;
inline constexpr int IDS_OUT_UNREACHABLE = 437;
inline constexpr int IDS_OUT_CLOSED = 438;
inline constexpr int IDS_OUT_CLOSED_NO_REPLY = 439;
inline constexpr int IDS_OUT_INCOMPLETE = 440;
inline constexpr int IDS_OUT_NO_REPLY = 441;
inline constexpr int IDS_OUT_LIB_NOT_STARTED = 442;
inline constexpr int IDS_OUT_LIB_VERSION = 443;
inline constexpr int IDS_OUT_LIB_NO_SOCKET = 444;
inline constexpr int IDS_OUT_BAD_ADDRESS = 445;
inline constexpr int IDS_LOG_LAMP_CHANGED = 446;
inline constexpr int IDS_OUT_OK_PEER_OPEN = 447;
inline constexpr int IDS_OUT_DISCARDED = 448;

// Every dialog's system menu, and the message of a field given too many characters (%1)
inline constexpr int IDS_SYS_MINIMIZE = 450;
inline constexpr int IDS_SYS_CLOSE = 451;
inline constexpr int IDS_MAX_CHARS = 452;
// What a screen reader calls one part of an address field: part %1 of %2
inline constexpr int IDS_FIELD_PART = 453;
