// Scalar types, window message numbers and session event codes shared by every window of the program.
#pragma once

#include <cstdint>

using UINT = unsigned int;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using BOOL = int;
using COLORREF = std::uint32_t;  // 0x00BBGGRR

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

// Window messages.
constexpr UINT WM_USER = 0x0400;
constexpr UINT WM_UDP_RECEIVE = WM_USER + 110;    // 0x46E: a datagram is waiting (wParam endpoint id)
constexpr UINT WM_CHILD_CLOSE = WM_USER + 401;    // 0x591: a tool window asks to be closed (wParam its kind)
constexpr UINT WM_SESSION_EVENT = WM_USER + 500;  // 0x5F4: session event (wParam event code)
constexpr UINT WM_SOCKET_LOG = WM_USER + 501;     // 0x5F5: a log text waits in the shared log buffer

// Session states (m_nState of the view).
enum SessionState : int {
    ST_DISCONNECTED = 1,
    ST_CONNECTED_LOOPBACK = 2,
    ST_CONNECTED = 3,
    ST_WAIT_CONNECT = 4,
};

// Socket types (m_nSocketType of the view, the document's socket type slot).
enum ConnectionType : int {
    TYPE_UDP = 0,
    TYPE_TCP_SERVER = 1,
    TYPE_TCP_CLIENT = 2,
    TYPE_SERIAL = 3,  // a serial line; an addition beside the socket types
};

// Event codes carried in wParam of WM_SESSION_EVENT.
enum SessionEvent : int {
    EV_CONNECT = 1,
    EV_DISCONNECT = 2,
    EV_LOOPBACK_ON = 3,
    EV_LOOPBACK_OFF = 4,
    EV_SEND = 6,
    EV_CONNECT_DONE = 7,
    EV_SET_TYPE = 9,
    EV_PROMPT = 10,
    EV_ACCEPT = 207,      // 0xCF
    EV_RECEIVE = 243,     // 0xF3
    EV_SEND_READY = 244,  // 0xF4
    EV_CLOSED = 246,      // 0xF6
};

// lParam of EV_DISCONNECT: 1 the user's command, 0 the batch runner's row end, and this one the
// runner's forced abort, which also ends a connect still pending.
constexpr LPARAM DISCONNECT_ABORT = 2;
// lParam of EV_DISCONNECT posted by an endpoint whose device has gone (a serial adapter pulled out).
constexpr LPARAM DISCONNECT_GONE = 3;

// Grid notifications posted to the batch send window (wParam of WM_SESSION_EVENT there).
enum GridEvent : int {
    EV_GRID_ROW_MARKED = 11,
    EV_GRID_CLICK = 12,
    EV_GRID_CONTEXT_MENU = 13,
    EV_GRID_DELETE_KEY = 14,
    EV_GRID_COPY_KEY = 15,
    EV_GRID_PASTE_KEY = 16,
    EV_GRID_NOTIFY = 17,
};

// Tool window kinds (wParam of WM_CHILD_CLOSE).
enum ToolWindowKind : int {
    KIND_COMMAND_SEND = 1,
    KIND_LOG = 2,
    KIND_HISTORY = 3,
    KIND_BATCH_SEND = 4,
};

// Timer ids.
constexpr int TIMER_BATCH_BUTTONS = 1;
constexpr int TIMER_SEND_LAMP = 2;
constexpr int TIMER_RECEIVE_LAMP = 3;

// Sizes of the fixed buffers.
constexpr int QN_BUFFER_SIZE = 2048000;   // receive, log and send buffers
constexpr int QN_MAX_RECEIVE = 1024000;   // bytes read by one receive

// Message box results (the Windows values).
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDYES = 6;
constexpr int IDNO = 7;
