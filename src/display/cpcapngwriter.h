// Writes telegrams as a pcapng trace that packet analysers read as if captured on the wire: TCP as
// IPv4/IPv6 + TCP segments with a handshake, continuous sequence numbers and a close, UDP as
// IPv4/IPv6 + UDP datagrams, serial lines as exported-PDU records naming a dissector. The writer only
// encodes: it appends blocks to a byte array the caller writes wherever it likes.
#pragma once

#include "display/ctracetelegram.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <unordered_map>

class CPcapngWriter
{
public:
    // Link types of the interface blocks.
    static constexpr quint16 kLinkRaw = 101;        // a raw IPv4 or IPv6 packet
    static constexpr quint16 kLinkUpperPdu = 252;   // exported PDU: tags, then the payload
    // The most TCP payload one IP packet carries here; a longer telegram becomes several segments.
    static constexpr int kMaxSegment = 65495;
    // The dissector of serial telegrams unless another is named.
    static constexpr const char *kDefaultSerialDissector = "data";

    // `application` names the writer in the section header ("Quillnet 3.01" when empty).
    explicit CPcapngWriter(const QString &application = QString());

    // The dissector serial telegrams are handed to ("data", "mbrtu", …); empty: the default.
    void SetSerialDissector(const QByteArray &name);
    QByteArray SerialDissector() const { return m_serialDissector; }

    // Appends the section header; once, before anything else.
    void Begin(QByteArray &out);
    // Appends the packets of one telegram (an interface block first when its type is new; a TCP
    // connection's handshake first when the connection is).
    void Write(const CTraceTelegram &telegram, QByteArray &out);
    // Appends the close of a TCP connection seen before; nothing for one unknown or closed.
    void EndConnection(quint64 connection, qint64 microseconds, QByteArray &out);
    // Closes every TCP connection still open, at the time of the last packet written.
    void Finish(QByteArray &out);

    // The packet comment of a telegram: direction, client, rule, checksum verdict, TLS.
    static QString Comment(const CTraceTelegram &telegram);
    // Packets written so far (handshakes and closes included).
    qint64 PacketCount() const { return m_packets; }

private:
    struct Stream
    {
        CSocketAddress own;
        CSocketAddress peer;
        bool ownOpened = true;
        quint32 ownNext = 0;   // the sequence number of this end's next byte
        quint32 peerNext = 0;  // of the other end's
    };
    // The ends of a packet: addresses (4 or 16 bytes used) and ports.
    struct Ends
    {
        int length = 4;
        std::array<quint8, 16> source{};
        std::array<quint8, 16> destination{};
        quint16 sourcePort = 0;
        quint16 destinationPort = 0;
    };
    enum Kind : int { TcpInterface, UdpInterface, SerialInterface, kInterfaces };

    int Interface(Kind kind, QByteArray &out);
    static Ends EndsOf(const CSocketAddress &from, const CSocketAddress &to);
    void WriteTcp(const CTraceTelegram &telegram, QByteArray &out);
    void WriteUdp(const CTraceTelegram &telegram, QByteArray &out);
    void WriteSerial(const CTraceTelegram &telegram, QByteArray &out);
    void Handshake(Stream &stream, qint64 microseconds, QByteArray &out);
    // One TCP segment from `fromOwn`'s end with `flags` and `payload`; advances the sequence numbers.
    void Segment(Stream &stream, bool fromOwn, quint8 flags, const char *payload, int length,
                 qint64 microseconds, const QByteArray &comment, QByteArray &out);
    // One enhanced packet block whose data is `header` followed by `payload`.
    void Packet(int interfaceId, qint64 microseconds, const quint8 *header, int headerLength, const char *payload,
                int length, const QByteArray &comment, QByteArray &out);

    QString m_application;
    QByteArray m_serialDissector = kDefaultSerialDissector;
    std::array<int, kInterfaces> m_interfaces{-1, -1, -1};
    int m_nextInterface = 0;
    std::unordered_map<quint64, Stream> m_streams;
    quint16 m_ipId = 0;
    qint64 m_lastTime = 0;
    qint64 m_packets = 0;
};
