// Command, control and window ids shared by the menu, the tool bar, the accelerators and the view.
#pragma once

// File commands.
constexpr int ID_FILE_NEW = 57600;
constexpr int ID_FILE_OPEN = 57601;
constexpr int ID_FILE_SAVE = 57603;
constexpr int ID_FILE_SAVE_AS = 57604;
constexpr int ID_FILE_PRINT_SETUP = 57606;
constexpr int ID_FILE_PRINT = 57607;
constexpr int ID_FILE_PRINT_DIRECT = 57608;
constexpr int ID_FILE_PRINT_PREVIEW = 57609;
constexpr int ID_FILE_MRU_FILE1 = 57616;  // the recent-file entries follow on: 57617, 57618, 57619
constexpr int ID_FILE_MRU_COUNT = 4;

// Edit commands (accelerators only; the main window has no handler for them).
constexpr int ID_EDIT_COPY = 57634;
constexpr int ID_EDIT_CUT = 57635;
constexpr int ID_EDIT_PASTE = 57637;
constexpr int ID_EDIT_UNDO = 57643;

// Application and window commands.
constexpr int ID_APP_ABOUT = 57664;
constexpr int ID_APP_EXIT = 57665;
constexpr int ID_NEXT_PANE = 57680;
constexpr int ID_PREV_PANE = 57681;

// The program's own commands.
constexpr int ID_SOCKET_SETTING = 32772;
constexpr int ID_SOCKET_DISCONNECT = 32773;
constexpr int ID_SOCKET_CONNECT = 32774;
constexpr int ID_VIEW_HISTORY = 32782;
constexpr int ID_COMMAND_SEND = 32784;
constexpr int ID_VIEW_LOG = 32792;
constexpr int ID_LOOPBACK_ON = 32796;
constexpr int ID_LOOPBACK_OFF = 32797;
constexpr int ID_SOCKET_TYPE = 32807;
constexpr int ID_CAPTURE_START = 32810;
constexpr int ID_CAPTURE_STOP = 32811;
constexpr int ID_BATCH_SEND = 32817;
constexpr int ID_REPLY_RULES = 32830;  // 送信 > 応答ﾙｰﾙ設定
constexpr int ID_VIEW_STATS = 32831;   // 表示 > 通信統計
constexpr int ID_VIEW_COMMANDS = 32840;  // 表示 > ｺﾏﾝﾄﾞ一覧
constexpr int ID_LINE_DTR = 32850;     // 送信 > DTR (a serial line's control lines, checked while on)
constexpr int ID_LINE_RTS = 32851;     // 送信 > RTS
constexpr int ID_LINE_BREAK = 32852;   // 送信 > ﾌﾞﾚｰｸ送信
constexpr int ID_LINE_MENU = 32853;    // the tool bar's one button holding the three above
constexpr int ID_RELAY = 32860;         // 送信 > 中継
constexpr int ID_VIEW_PLOT = 32862;      // 表示 > ｸﾞﾗﾌ
constexpr int ID_VIEW_CHANNELS = 32863;  // 表示 > ﾁｬﾝﾈﾙ

// The Command Send window's send button, whose state follows the view's rule too.
constexpr int IDC_SEND_BUTTON = 1004;

// Type dialog radio buttons.
constexpr int IDC_TYPE_UDP = 1011;
constexpr int IDC_TYPE_TCP_SERVER = 1012;
constexpr int IDC_TYPE_TCP_CLIENT = 1013;
constexpr int IDC_TYPE_SERIAL = 1015;

// Settings dialog labels and edits.
constexpr int IDC_SETTING_LABEL1 = 1012;
constexpr int IDC_SETTING_LABEL2 = 1013;
constexpr int IDC_SETTING_LABEL3 = 1014;
constexpr int IDC_SETTING_VALUE1 = 1056;
constexpr int IDC_SETTING_VALUE2 = 1026;
constexpr int IDC_SETTING_VALUE3 = 1031;

// About box.
constexpr int IDC_ABOUT_ICON = 1100;
constexpr int IDC_ABOUT_TEXT = 1101;

// Status bar indicators.
constexpr int ID_INDICATOR_CAPS = 59137;
constexpr int ID_INDICATOR_NUM = 59138;
constexpr int ID_INDICATOR_SCRL = 59139;
constexpr int ID_INDICATOR_KANA = 59142;
