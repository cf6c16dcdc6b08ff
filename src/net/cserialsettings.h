// The settings of a serial line as the document keeps them, as text slots in order (device, baud,
// frame, flow control, telegram end, control lines, then the options: RS-485 and the break's
// length), read into values and written back.
#pragma once

#include "net/cserialcontrol.h"

#include <QString>
#include <QStringList>

struct CSerialSettings
{
    enum Flow { FLOW_NONE, FLOW_RTSCTS, FLOW_XONXOFF };
    // Where a received telegram ends: at each read, after a gap in the bytes, or after an end byte.
    enum End { END_EACH_READ, END_GAP, END_BYTE };

    QString device;
    int baud = 9600;
    int dataBits = 8;
    char parity = 'N';   // N, O, E, M or S
    int stopHalves = 2;  // stop bits in halves: 2, 3 (1.5) or 4
    Flow flow = FLOW_NONE;
    End end = END_EACH_READ;
    int gapMs = 0;
    unsigned char endByte = 0;
    bool dtr = true;
    bool rts = true;
    CSerialControl::Rs485 rs485;  // off unless the options slot says so
    int breakMs = kDefaultBreakMs;  // ﾌﾞﾚｰｸ送信's length

    // The longest gap that may end a telegram.
    static constexpr int kMaxGapMs = 60000;
    static constexpr int kDefaultBreakMs = 250;
    static constexpr int kMaxBreakMs = 10000;
    // The longest RS-485 delay before or after sending (the kernel's own bound).
    static constexpr int kMaxRs485DelayMs = 100;

    // Reads the slots' texts (missing ones are empty: the defaults); false with the reason in
    // `error` for a text that is no setting.
    static bool Parse(const QStringList &texts, CSerialSettings *out, QString *error);
    // The texts for the slots, in order; a default is written as its text, never as empty.
    QStringList Texts() const;
    // The stored words of a flow control ("rtscts"), of a telegram end with its value as typed
    // ("gap:5", "byte:0D"; empty for each read) and of the control lines ("dtr:1 rts:0").
    static QString FlowText(Flow flow);
    static QString EndText(End end, const QString &value);
    static QString LinesText(bool dtr, bool rts);
    // The options slot's words ("rs485:send before:1 after:2 break:500"; empty: RS-485 off, a
    // 250 ms break).
    static QString OptionsText(const CSerialControl::Rs485 &rs485, int breakMs);
    // "8N1", "7E1", "5N1.5".
    QString FrameText() const;
    // "115200 8N1" and the flow control where there is one.
    QString LineText() const;
};
