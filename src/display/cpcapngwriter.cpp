#include "display/cpcapngwriter.h"

#include <QtEndian>

#include <netinet/in.h>

#include <algorithm>
#include <cstring>

namespace {

constexpr quint32 kSectionHeader = 0x0A0D0D0A;
constexpr quint32 kInterfaceBlock = 1;
constexpr quint32 kEnhancedPacket = 6;
constexpr quint16 kOptEnd = 0;
constexpr quint16 kOptComment = 1;
constexpr quint16 kOptUserApplication = 4;  // of the section header
constexpr quint16 kOptInterfaceName = 2;
constexpr quint16 kOptInterfaceDescription = 3;
constexpr quint8 kFin = 0x01, kSyn = 0x02, kPsh = 0x08, kAck = 0x10;
constexpr quint8 kProtoTcp = 6, kProtoUdp = 17;
// Exported-PDU tags.
constexpr quint16 kTagEnd = 0, kTagDissectorName = 12, kTagDirection = 35;
constexpr int kMaxUdpPayload = 65507;

int Padded(int length)
{
    return (length + 3) & ~3;
}

void PutLe32(QByteArray &out, quint32 value)
{
    const quint32 le = qToLittleEndian(value);
    out.append(reinterpret_cast<const char *>(&le), 4);
}

void PutLe16(QByteArray &out, quint16 value)
{
    const quint16 le = qToLittleEndian(value);
    out.append(reinterpret_cast<const char *>(&le), 2);
}

// One option: code, length, the value padded to four bytes.
void PutOption(QByteArray &out, quint16 code, QByteArrayView value)
{
    const int length = int(std::min<qsizetype>(value.size(), 0xFFFF));
    PutLe16(out, code);
    PutLe16(out, quint16(length));
    out.append(value.data(), length);
    out.append(Padded(length) - length, '\0');
}

// Writes the block's total length at its start and its end once its body is in place.
void CloseBlock(QByteArray &out, qsizetype start)
{
    const quint32 total = quint32(out.size() - start + 4);
    PutLe32(out, total);
    const quint32 le = qToLittleEndian(total);
    std::memcpy(out.data() + start + 4, &le, 4);
}

// The ones'-complement sum of 16-bit words in memory order (RFC 1071: the order of the bytes does
// not matter as long as the result is stored the same way).
quint64 AddWords(quint64 sum, const void *data, size_t length)
{
    const auto *p = static_cast<const unsigned char *>(data);
    while (length >= 8) {
        quint32 a, b;
        std::memcpy(&a, p, 4);
        std::memcpy(&b, p + 4, 4);
        sum += quint64(a) + b;
        p += 8;
        length -= 8;
    }
    while (length >= 2) {
        quint16 w;
        std::memcpy(&w, p, 2);
        sum += w;
        p += 2;
        length -= 2;
    }
    if (length) {
        const quint8 last[2] = {*p, 0};
        quint16 w;
        std::memcpy(&w, last, 2);
        sum += w;
    }
    return sum;
}

quint16 Fold(quint64 sum)
{
    while (sum >> 16)
        sum = (sum & 0xFFFF) + (sum >> 16);
    return quint16(~sum & 0xFFFF);
}

void PutBe16(quint8 *p, quint16 v)
{
    qToBigEndian(v, p);
}

void PutBe32(quint8 *p, quint32 v)
{
    qToBigEndian(v, p);
}

// Fills an IP header for `payloadLength` bytes after it (the transport header included) and the
// transport's pseudo-header sum; returns the IP header's length.
int IpHeader(quint8 *p, const auto &ends, quint8 protocol, int payloadLength, quint16 id, quint64 *pseudo)
{
    if (ends.length == 4) {
        p[0] = 0x45;
        p[1] = 0;
        PutBe16(p + 2, quint16(20 + payloadLength));
        PutBe16(p + 4, id);
        PutBe16(p + 6, 0x4000);  // don't fragment
        p[8] = 64;
        p[9] = protocol;
        p[10] = p[11] = 0;
        std::memcpy(p + 12, ends.source.data(), 4);
        std::memcpy(p + 16, ends.destination.data(), 4);
        const quint16 check = Fold(AddWords(0, p, 20));
        std::memcpy(p + 10, &check, 2);
        quint8 tail[4] = {0, protocol, 0, 0};
        PutBe16(tail + 2, quint16(payloadLength));
        *pseudo = AddWords(AddWords(0, p + 12, 8), tail, 4);
        return 20;
    }
    PutBe32(p, 0x60000000);
    PutBe16(p + 4, quint16(payloadLength));
    p[6] = protocol;
    p[7] = 64;
    std::memcpy(p + 8, ends.source.data(), 16);
    std::memcpy(p + 24, ends.destination.data(), 16);
    quint8 tail[8] = {0, 0, 0, 0, 0, 0, 0, protocol};
    PutBe32(tail, quint32(payloadLength));
    *pseudo = AddWords(AddWords(0, p + 8, 32), tail, 8);
    return 40;
}

// The address as 4 (IPv4, also an IPv4-mapped IPv6 one) or 16 bytes; 0 when there is none.
int RawAddress(const CSocketAddress &address, quint8 *out)
{
    if (!address.IsValid())
        return 0;
    if (address.Family() == AF_INET) {
        const auto *in = reinterpret_cast<const sockaddr_in *>(address.Data());
        std::memcpy(out, &in->sin_addr, 4);
        return 4;
    }
    if (address.Family() == AF_INET6) {
        const auto *in6 = reinterpret_cast<const sockaddr_in6 *>(address.Data());
        if (IN6_IS_ADDR_V4MAPPED(&in6->sin6_addr)) {
            std::memcpy(out, in6->sin6_addr.s6_addr + 12, 4);
            return 4;
        }
        std::memcpy(out, &in6->sin6_addr, 16);
        return 16;
    }
    return 0;
}

}  // namespace

CPcapngWriter::CPcapngWriter(const QString &application)
    : m_application(application.isEmpty() ? QStringLiteral("Quillnet " QN_VERSION) : application)
{
}

void CPcapngWriter::SetSerialDissector(const QByteArray &name)
{
    m_serialDissector = name.isEmpty() ? QByteArray(kDefaultSerialDissector) : name;
}

void CPcapngWriter::Begin(QByteArray &out)
{
    const qsizetype start = out.size();
    PutLe32(out, kSectionHeader);
    PutLe32(out, 0);
    PutLe32(out, 0x1A2B3C4D);
    PutLe16(out, 1);
    PutLe16(out, 0);
    PutLe32(out, 0xFFFFFFFF);  // section length not known
    PutLe32(out, 0xFFFFFFFF);
    PutOption(out, kOptUserApplication, m_application.toUtf8());
    PutOption(out, kOptEnd, {});
    CloseBlock(out, start);
}

int CPcapngWriter::Interface(Kind kind, QByteArray &out)
{
    if (m_interfaces[kind] >= 0)
        return m_interfaces[kind];
    static const char *const names[] = {"tcp", "udp", "serial"};
    static const char *const descriptions[] = {"Quillnet TCP", "Quillnet UDP", "Quillnet serial"};
    const qsizetype start = out.size();
    PutLe32(out, kInterfaceBlock);
    PutLe32(out, 0);
    PutLe16(out, kind == SerialInterface ? kLinkUpperPdu : kLinkRaw);
    PutLe16(out, 0);
    PutLe32(out, 0);  // no snapshot limit
    PutOption(out, kOptInterfaceName, names[kind]);
    PutOption(out, kOptInterfaceDescription, descriptions[kind]);
    PutOption(out, kOptEnd, {});
    CloseBlock(out, start);
    m_interfaces[kind] = m_nextInterface++;
    return m_interfaces[kind];
}

void CPcapngWriter::Packet(int interfaceId, qint64 microseconds, const quint8 *header, int headerLength,
                           const char *payload, int length, const QByteArray &comment, QByteArray &out)
{
    const int captured = headerLength + length;
    const int commentRoom = comment.isEmpty() ? 0 : 4 + Padded(int(comment.size())) + 4;
    const qsizetype total = 28 + Padded(captured) + commentRoom + 4;
    const qsizetype start = out.size();
    out.resize(start + total);
    quint8 *p = reinterpret_cast<quint8 *>(out.data() + start);
    const auto le32 = [&p](quint32 v) {
        qToLittleEndian(v, p);
        p += 4;
    };
    le32(kEnhancedPacket);
    le32(quint32(total));
    le32(quint32(interfaceId));
    const quint64 stamp = quint64(std::max<qint64>(0, microseconds));
    le32(quint32(stamp >> 32));
    le32(quint32(stamp));
    le32(quint32(captured));
    le32(quint32(captured));
    std::memcpy(p, header, size_t(headerLength));
    p += headerLength;
    if (length > 0)
        std::memcpy(p, payload, size_t(length));
    p += length;
    std::memset(p, 0, size_t(Padded(captured) - captured));
    p += Padded(captured) - captured;
    if (commentRoom) {
        qToLittleEndian(kOptComment, p);
        qToLittleEndian(quint16(comment.size()), p + 2);
        p += 4;
        std::memcpy(p, comment.constData(), size_t(comment.size()));
        std::memset(p + comment.size(), 0, size_t(Padded(int(comment.size())) - comment.size()));
        p += Padded(int(comment.size()));
        std::memset(p, 0, 4);  // end of options
        p += 4;
    }
    le32(quint32(total));
    m_lastTime = std::max(m_lastTime, microseconds);
    ++m_packets;
}

CPcapngWriter::Ends CPcapngWriter::EndsOf(const CSocketAddress &from, const CSocketAddress &to)
{
    Ends ends;
    const int a = RawAddress(from, ends.source.data());
    const int b = RawAddress(to, ends.destination.data());
    // Both ends in one family: a missing end is the unspecified address of the other's.
    if (a == 16 || b == 16) {
        ends.length = 16;
        if (a == 4)
            ends.source = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, ends.source[0], ends.source[1], ends.source[2], ends.source[3]};
        if (b == 4)
            ends.destination = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, ends.destination[0], ends.destination[1],
                                ends.destination[2], ends.destination[3]};
    }
    ends.sourcePort = quint16(from.IsValid() ? from.Port() : 0);
    ends.destinationPort = quint16(to.IsValid() ? to.Port() : 0);
    return ends;
}

void CPcapngWriter::Write(const CTraceTelegram &telegram, QByteArray &out)
{
    switch (telegram.carrier) {
    case CTraceTelegram::Tcp:
        WriteTcp(telegram, out);
        break;
    case CTraceTelegram::Udp:
        WriteUdp(telegram, out);
        break;
    case CTraceTelegram::Serial:
        WriteSerial(telegram, out);
        break;
    }
}

void CPcapngWriter::WriteTcp(const CTraceTelegram &telegram, QByteArray &out)
{
    auto found = m_streams.find(telegram.connection);
    if (found == m_streams.end()) {
        Stream stream;
        stream.own = telegram.own;
        stream.peer = telegram.peer;
        stream.ownOpened = telegram.ownOpened;
        // Initial sequence numbers of our own choosing, different per connection.
        stream.ownNext = 0x10000000u + quint32(telegram.connection) * 0x01000193u;
        stream.peerNext = 0x60000000u + quint32(telegram.connection) * 0x0100019Du;
        found = m_streams.emplace(telegram.connection, stream).first;
        Handshake(found->second, telegram.microseconds, out);
    }
    const bool fromOwn = telegram.direction == 'S';
    const QByteArray comment = Comment(telegram).toUtf8();
    const char *data = telegram.bytes.constData();
    int left = int(telegram.bytes.size());
    do {
        const int part = std::min(left, kMaxSegment);
        Segment(found->second, fromOwn, kPsh | kAck, data, part, telegram.microseconds, comment, out);
        data += part;
        left -= part;
    } while (left > 0);
}

void CPcapngWriter::Handshake(Stream &stream, qint64 microseconds, QByteArray &out)
{
    const QByteArray note = QStringLiteral("接続の開始 (Quillnetが補ったﾊﾟｹｯﾄ)").toUtf8();
    const bool opener = stream.ownOpened;
    Segment(stream, opener, kSyn, nullptr, 0, microseconds, note, out);
    Segment(stream, !opener, kSyn | kAck, nullptr, 0, microseconds, note, out);
    Segment(stream, opener, kAck, nullptr, 0, microseconds, note, out);
}

void CPcapngWriter::Segment(Stream &stream, bool fromOwn, quint8 flags, const char *payload, int length,
                            qint64 microseconds, const QByteArray &comment, QByteArray &out)
{
    const Ends ends = fromOwn ? EndsOf(stream.own, stream.peer) : EndsOf(stream.peer, stream.own);
    quint32 &seq = fromOwn ? stream.ownNext : stream.peerNext;
    const quint32 ack = fromOwn ? stream.peerNext : stream.ownNext;
    quint8 header[60];
    quint64 sum = 0;
    const int ip = IpHeader(header, ends, kProtoTcp, 20 + length, m_ipId++, &sum);
    quint8 *tcp = header + ip;
    PutBe16(tcp, ends.sourcePort);
    PutBe16(tcp + 2, ends.destinationPort);
    PutBe32(tcp + 4, seq);
    // The SYN of the opener acknowledges nothing.
    PutBe32(tcp + 8, (flags & kAck) ? ack : 0);
    tcp[12] = 5 << 4;
    tcp[13] = flags;
    PutBe16(tcp + 14, 65535);
    tcp[16] = tcp[17] = 0;
    tcp[18] = tcp[19] = 0;
    sum = AddWords(sum, tcp, 20);
    if (length > 0)
        sum = AddWords(sum, payload, size_t(length));
    const quint16 check = Fold(sum);
    std::memcpy(tcp + 16, &check, 2);
    seq += quint32(length) + ((flags & (kSyn | kFin)) ? 1 : 0);
    const int id = Interface(TcpInterface, out);
    Packet(id, microseconds, header, ip + 20, payload, length, comment, out);
}

void CPcapngWriter::EndConnection(quint64 connection, qint64 microseconds, QByteArray &out)
{
    const auto found = m_streams.find(connection);
    if (found == m_streams.end())
        return;
    Stream &stream = found->second;
    const QByteArray note = QStringLiteral("接続の終わり (Quillnetが補ったﾊﾟｹｯﾄ)").toUtf8();
    Segment(stream, true, kFin | kAck, nullptr, 0, microseconds, note, out);
    Segment(stream, false, kFin | kAck, nullptr, 0, microseconds, note, out);
    Segment(stream, true, kAck, nullptr, 0, microseconds, note, out);
    m_streams.erase(found);
}

void CPcapngWriter::Finish(QByteArray &out)
{
    std::vector<quint64> open;
    open.reserve(m_streams.size());
    for (const auto &entry : m_streams)
        open.push_back(entry.first);
    std::sort(open.begin(), open.end());
    const qint64 when = m_lastTime;
    for (const quint64 connection : open)
        EndConnection(connection, when, out);
}

void CPcapngWriter::WriteUdp(const CTraceTelegram &telegram, QByteArray &out)
{
    const bool fromOwn = telegram.direction == 'S';
    const Ends ends = fromOwn ? EndsOf(telegram.own, telegram.peer) : EndsOf(telegram.peer, telegram.own);
    const QByteArray comment = Comment(telegram).toUtf8();
    const int id = Interface(UdpInterface, out);
    const char *data = telegram.bytes.constData();
    int left = int(telegram.bytes.size());
    do {
        const int part = std::min(left, kMaxUdpPayload);
        quint8 header[48];
        quint64 sum = 0;
        const int ip = IpHeader(header, ends, kProtoUdp, 8 + part, m_ipId++, &sum);
        quint8 *udp = header + ip;
        PutBe16(udp, ends.sourcePort);
        PutBe16(udp + 2, ends.destinationPort);
        PutBe16(udp + 4, quint16(8 + part));
        udp[6] = udp[7] = 0;
        sum = AddWords(sum, udp, 8);
        if (part > 0)
            sum = AddWords(sum, data, size_t(part));
        quint16 check = Fold(sum);
        if (check == 0)
            check = 0xFFFF;  // zero means "no checksum" in UDP
        std::memcpy(udp + 6, &check, 2);
        Packet(id, telegram.microseconds, header, ip + 8, data, part, comment, out);
        data += part;
        left -= part;
    } while (left > 0);
}

void CPcapngWriter::WriteSerial(const CTraceTelegram &telegram, QByteArray &out)
{
    const int id = Interface(SerialInterface, out);
    const int nameRoom = Padded(int(m_serialDissector.size()));
    QByteArray tags;
    tags.reserve(4 + nameRoom + 8 + 4);
    const auto tag = [&tags](quint16 code, quint16 length) {
        quint8 head[4];
        PutBe16(head, code);
        PutBe16(head + 2, length);
        tags.append(reinterpret_cast<const char *>(head), 4);
    };
    tag(kTagDissectorName, quint16(nameRoom));
    tags.append(m_serialDissector);
    tags.append(nameRoom - m_serialDissector.size(), '\0');
    tag(kTagDirection, 4);
    quint8 direction[4];
    PutBe32(direction, telegram.direction == 'S' ? 0 : 1);  // P2P_DIR_SENT, P2P_DIR_RECV
    tags.append(reinterpret_cast<const char *>(direction), 4);
    tag(kTagEnd, 0);
    Packet(id, telegram.microseconds, reinterpret_cast<const quint8 *>(tags.constData()), int(tags.size()),
           telegram.bytes.constData(), int(telegram.bytes.size()), Comment(telegram).toUtf8(), out);
}

QString CPcapngWriter::Comment(const CTraceTelegram &telegram)
{
    QString text = telegram.direction == 'S' ? QStringLiteral("送信") : QStringLiteral("受信");
    if (telegram.client > 0)
        text += QStringLiteral(" ｸﾗｲｱﾝﾄ#%1").arg(telegram.client);
    if (telegram.rule > 0)
        text += QStringLiteral(" 応答ﾙｰﾙ%1").arg(telegram.rule);
    if (telegram.checksum == 1)
        text += QStringLiteral(" ﾁｪｯｸｻﾑ正常");
    else if (telegram.checksum == 0)
        text += QStringLiteral(" ﾁｪｯｸｻﾑ異常");
    if (telegram.tls)
        text += QStringLiteral(" (TLSを復号したｱﾌﾟﾘｹｰｼｮﾝﾃﾞｰﾀ)");
    return text;
}
