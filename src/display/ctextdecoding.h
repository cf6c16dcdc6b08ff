// Turns a telegram's bytes into display text in one of the History's encodings, marking what cannot be shown.
#pragma once

#include <QByteArrayView>
#include <QString>

#include <vector>

class CTextDecoding
{
public:
    enum Encoding : quint8 { ShiftJis = 0, Utf8 = 1, Latin1 = 2 };
    static constexpr int kEncodings = 3;

    // Decodes `bytes`. A byte that does not start a valid character becomes U+FFFD and decoding goes
    // on with the next byte, so nothing after it is lost. With `controls`, the control bytes 0x00-0x1F
    // and 0x7F show as their control pictures (CR as U+240D, LF as U+240A, …) instead of themselves.
    // `offsets`, when given, receives the byte offset each UTF-16 unit came from, and then the length.
    static QString Decode(QByteArrayView bytes, Encoding encoding, bool controls,
                          std::vector<qint32> *offsets = nullptr);
    // The name shown in the menu and kept in the profile.
    static QString Name(Encoding encoding);
    // The encoding of a name from the profile; Shift-JIS for an unknown one.
    static Encoding FromName(const QString &name);
};
