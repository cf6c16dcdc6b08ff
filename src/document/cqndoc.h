// The document: the connection settings kept in 10,000 text and 10,000 integer slots, and their file.
// It is the document core the session reads, the one header of src/app that lower layers include.
#pragma once

#include "platform/qnwin.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <vector>

class CArchive;

class CQnDoc
{
public:
    static constexpr int kSlotCount = 10000;
    static const char *const kVersion1;  // "QN FileVersion '1'": text slots only
    static const char *const kVersion2;  // "QN FileVersion '2.00'": text slots, then integer slots

    // The slot layout: which slot holds which setting. Slots not named here are unused and keep
    // whatever a file holds in them.
    enum IntSlot : int {
        SLOT_SOCKET_TYPE = 0,  // ConnectionType
        SLOT_REPLY_USE = 100,  // reply rules: 1 "応答ﾙｰﾙを使用する" on, 0 off
        SLOT_REPLY_COUNT = 101,  // reply rules stored, 0 to kReplyRuleMax
        SLOT_REPLY_RULE_INTS = 200,  // kReplyIntsPerRule a rule: on, kind, forms, delay
        SLOT_REPLY_RULE_FLAGS = 500,  // one a rule: bit 0 the match leaves the received checksum out
    };
    enum TextSlot : int {
        SLOT_UDP_ADDRESS = 0,
        SLOT_UDP_PORT = 1,
        SLOT_UDP_OWN_PORT = 2,
        SLOT_SERVER_PORT = 3,
        SLOT_CLIENT_ADDRESS = 4,
        SLOT_CLIENT_PORT = 5,
        SLOT_CLIENT_OWN_PORT = 6,
        // A serial line: the device path, the baud ("115200"), the frame ("8N1", "7E1", "5N1.5"), the
        // flow control ("none", "rtscts", "xonxoff"), the end of a received telegram ("" each read,
        // "gap:5" a gap of 5 ms, "byte:0D" an end byte) and the control lines ("" DTR and RTS on, else
        // e.g. "dtr:0 rts:1"). Empty slots mean 9600 8N1, no flow control, each read.
        SLOT_SERIAL_DEVICE = 7,
        SLOT_SERIAL_BAUD = 8,
        SLOT_SERIAL_FRAME = 9,
        SLOT_SERIAL_FLOW = 10,
        SLOT_SERIAL_END = 11,
        SLOT_SERIAL_LINES = 12,
        // UDP's added options (CUdpOptions: "if:eth0 ttl:4 loop:0 from:1"; empty: the defaults).
        SLOT_UDP_OPTIONS = 13,
        // The TCP server's most clients at once, 1 to 10,000 (empty: one client, a second closed).
        SLOT_SERVER_CLIENTS = 14,
        // TLS of the TCP client (CTlsSettings::ForClient): "1" on; verification ("" the system's CA
        // store, "file", "none"); CA file; server name (SNI, empty: the address typed); ALPN
        // ("h2,http/1.1"); client certificate and key files (PEM); version ("" 1.2 and 1.3, "1.2", "1.3").
        SLOT_CLIENT_TLS_FIRST = 15,
        SLOT_CLIENT_TLS_COUNT = 8,
        // TLS of the TCP server (CTlsSettings::ForServer): "1" on; certificate and key files (PEM);
        // client certificate ("" none, "request", "require"); CA file for it; ALPN; version.
        SLOT_SERVER_TLS_FIRST = 23,
        SLOT_SERVER_TLS_COUNT = 7,
        // Reconnect by itself ("1" on; empty: off): a serial line whose device went, a TCP client whose
        // peer closed or refused (CConnectionType::reconnect names each type's slot).
        SLOT_SERIAL_RECONNECT = 40,
        SLOT_CLIENT_RECONNECT = 41,
        // Command Send's line end after a text telegram: "cr", "lf", "crlf" (empty: none).
        SLOT_SEND_LINE_END = 42,
        // A serial line's options (CSerialSettings::OptionsText): RS-485 "rs485:send" (RTS on while
        // sending) or "rs485:after", "before:1 after:2" its delays in ms, "break:500" the length of
        // ﾌﾞﾚｰｸ送信. Empty: no RS-485, a 250 ms break.
        SLOT_SERIAL_OPTIONS = 30,
        SLOT_REPLY_RULE_TEXTS = 100,  // kReplyTextsPerRule a rule: match, reply
        SLOT_REPLY_RULE_CHECKSUMS = 300,  // one a rule: the reply's checksum rule, empty for none
        SLOT_REPLY_RULE_STATES = 400,       // one a rule: the state it holds in, empty for any
        SLOT_REPLY_RULE_NEXT_STATES = 500,  // one a rule: the state it sets, empty to keep the state
        // The commands file (ｺﾏﾝﾄﾞ一覧), its UTF-8 bytes exactly as the file would hold them; empty: none.
        SLOT_COMMANDS = 9000,
        // The value channels (CChannelTable): their CSV file's lines in code page 932, and the checksum
        // rule a received telegram passes to give values; both empty: no channels.
        SLOT_CHANNELS = 9100,
        SLOT_CHANNEL_CHECKSUM = 9101,
    };
    static constexpr int kReplyRuleMax = 64;
    static constexpr int kReplyIntsPerRule = 4;
    static constexpr int kReplyTextsPerRule = 2;
    // Which slots each connection type reads: CConnectionType.

    CQnDoc();

    // The socket type the document holds (any value a file gave it).
    ConnectionType SocketType() const { return static_cast<ConnectionType>(GetSlotInt(SLOT_SOCKET_TYPE)); }
    void SetSocketType(ConnectionType type) { SetSlotInt(SLOT_SOCKET_TYPE, type); }

    // Slot text in the program's encoding (stored as code page 932). Out-of-range slots read empty
    // or 0 and ignore writes.
    QString GetSlotString(int slot) const;
    void SetSlotString(int slot, const QString &text);
    // The stored bytes of a text slot, exactly as the file held them.
    QByteArray GetSlotBytes(int slot) const;
    // Stores bytes in a text slot as they are (no conversion).
    void SetSlotBytes(int slot, const QByteArray &bytes);
    int GetSlotInt(int slot) const;
    void SetSlotInt(int slot, int value);
    // The version marker last read or written (empty before either).
    QByteArray GetVersion() const { return m_strVersion; }

    void SetModifiedFlag(bool modified = true) { m_bModified = modified; }
    bool IsModified() const { return m_bModified; }

    // Empties every text slot and sets every integer slot to 0.
    void DeleteContents();
    // A new, empty, unmodified document without a path.
    bool OnNewDocument();
    // Reads the file. On failure `error` holds the text to show and the document is left exactly
    // as it was before the call.
    bool OnOpenDocument(const QString &path, QString *error);
    // Writes the file (replaced only once it is completely written; written in place when its
    // folder takes no new file but the file itself may be written). On failure `error` holds the
    // text to show and, unless it was being written in place, the file on disk is untouched.
    bool OnSaveDocument(const QString &path, QString *error);
    // Reads or writes the file format through the archive; false on the first failing field.
    bool Serialize(CArchive &archive);

    QString GetPathName() const { return m_strPathName; }
    void SetPathName(const QString &path);
    // The file name, or "無題" for a document without a path.
    QString GetTitle() const;

private:
    std::vector<QByteArray> m_strSlots;
    std::vector<qint32> m_nSlots;
    QByteArray m_strVersion;
    bool m_bModified = false;
    QString m_strPathName;
};
