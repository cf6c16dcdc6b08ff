#include "relay/crelaydisturber.h"

#include <QRegularExpression>
#include <QStringList>

bool CRelayDisturber::Spec::IsEmpty() const
{
    return delayMs == 0 && jitterMs == 0 && dropPercent == 0 && corruptPercent == 0 && corruptTelegramPercent == 0 &&
           splitBytes == 0 && mergeMs == 0;
}

QString CRelayDisturber::Spec::Text() const
{
    QStringList words;
    const auto add = [&](const char *name, double value) {
        if (value != 0)
            words << QString::fromLatin1(name) + QLatin1Char(':') + QString::number(value);
    };
    add("delay", delayMs);
    add("jitter", jitterMs);
    add("drop", dropPercent);
    add("corrupt", corruptPercent);
    add("corrupt-telegram", corruptTelegramPercent);
    add("split", splitBytes);
    add("merge", mergeMs);
    return words.join(QLatin1Char(' '));
}

QString CRelayDisturber::KindText(Mark::Kind kind)
{
    switch (kind) {
    case Mark::Delay: return QStringLiteral("遅延");
    case Mark::Drop: return QStringLiteral("破棄");
    case Mark::Corrupt: return QStringLiteral("改変");
    case Mark::Split: return QStringLiteral("分割");
    case Mark::Merge: return QStringLiteral("結合");
    }
    return {};
}

CRelayDisturber::CRelayDisturber(const Spec &spec, quint64 seed) : m_spec(spec), m_random(seed)
{
    m_clock.start();
}

bool CRelayDisturber::Parse(const QString &text, Spec *spec, bool directions[2], quint64 *seed, bool *seedGiven, QString *error)
{
    Spec read;
    directions[0] = directions[1] = true;
    const QStringList words = text.split(QRegularExpression(QStringLiteral("[\\s,]+")), Qt::SkipEmptyParts);
    for (const QString &word : words) {
        const QString lower = word.toLower();
        if (lower == QLatin1String("a>b") || lower == QLatin1String("b>a")) {
            directions[0] = lower == QLatin1String("a>b");
            directions[1] = !directions[0];
            continue;
        }
        const qsizetype colon = word.indexOf(QLatin1Char(':'));
        const QString key = lower.left(colon);
        const QString value = colon < 0 ? QString() : word.mid(colon + 1);
        bool ok = colon > 0;
        const auto whole = [&](int max) {
            const int n = value.toInt(&ok);
            ok = ok && n >= 0 && n <= max;
            return n;
        };
        const auto percent = [&] {
            const double p = value.toDouble(&ok);
            ok = ok && p >= 0 && p <= 100;
            return p;
        };
        if (!ok)
            ;
        else if (key == QLatin1String("delay"))
            read.delayMs = whole(600000);
        else if (key == QLatin1String("jitter"))
            read.jitterMs = whole(600000);
        else if (key == QLatin1String("drop"))
            read.dropPercent = percent();
        else if (key == QLatin1String("corrupt"))
            read.corruptPercent = percent();
        else if (key == QLatin1String("corrupt-telegram"))
            read.corruptTelegramPercent = percent();
        else if (key == QLatin1String("split"))
            read.splitBytes = whole(1 << 24);
        else if (key == QLatin1String("merge"))
            read.mergeMs = whole(600000);
        else if (key == QLatin1String("seed")) {
            *seed = value.toULongLong(&ok);
            *seedGiven = ok;
        } else
            ok = false;
        if (!ok) {
            *error = QStringLiteral("妨害の指定が読めません: %1").arg(word);
            return false;
        }
    }
    *spec = read;
    return true;
}

double CRelayDisturber::Chance()
{
    // 53 random bits: the same on every platform, unlike the library's distributions.
    return double(m_random() >> 11) * (1.0 / 9007199254740992.0);
}

void CRelayDisturber::Take(const QByteArray &bytes, QList<QByteArray> *ready, QList<Mark> *marks)
{
    TakeAt(m_clock.elapsed(), bytes, ready, marks);
}

void CRelayDisturber::Due(QList<QByteArray> *ready)
{
    DueAt(m_clock.elapsed(), ready);
}

void CRelayDisturber::TakeAt(qint64 nowMs, const QByteArray &bytes, QList<QByteArray> *ready, QList<Mark> *marks)
{
    const auto mark = [marks](Mark::Kind kind, const QString &text) {
        if (marks)
            marks->append({kind, text});
    };
    if (m_spec.dropPercent > 0 && Chance() * 100 < m_spec.dropPercent) {
        mark(Mark::Drop, QStringLiteral("%1 ﾊﾞｲﾄ").arg(bytes.size()));
        return;
    }
    QByteArray data = bytes;
    const auto corrupt = [&](qsizetype at) {
        const auto old = quint8(data[at]);
        const auto flipped = quint8(old ^ quint8(1 + m_random() % 255));
        data[at] = char(flipped);
        mark(Mark::Corrupt, QStringLiteral("%1 ﾊﾞｲﾄ目 %2→%3")
                                .arg(at + 1)
                                .arg(old, 2, 16, QLatin1Char('0'))
                                .arg(flipped, 2, 16, QLatin1Char('0'))
                                .toUpper());
    };
    if (m_spec.corruptPercent > 0) {
        for (qsizetype i = 0; i < data.size(); ++i) {
            if (Chance() * 100 < m_spec.corruptPercent)
                corrupt(i);
        }
    }
    if (m_spec.corruptTelegramPercent > 0 && !data.isEmpty() && Chance() * 100 < m_spec.corruptTelegramPercent)
        corrupt(qsizetype(m_random() % quint64(data.size())));

    QList<QByteArray> pieces;
    if (m_spec.splitBytes > 0 && data.size() > m_spec.splitBytes) {
        // Pieces of 1 to splitBytes bytes.
        for (qsizetype at = 0; at < data.size();) {
            const qsizetype length = qMin<qsizetype>(data.size() - at, 1 + qsizetype(m_random() % quint64(m_spec.splitBytes)));
            pieces << data.mid(at, length);
            at += length;
        }
        mark(Mark::Split, QStringLiteral("%1 個").arg(pieces.size()));
    } else {
        pieces << data;
    }

    const qint64 delay = m_spec.delayMs + (m_spec.jitterMs > 0 ? qint64(m_random() % quint64(m_spec.jitterMs + 1)) : 0);
    if (delay > 0)
        mark(Mark::Delay, QStringLiteral("%1 ms").arg(delay));
    for (const QByteArray &piece : std::as_const(pieces)) {
        if (m_spec.mergeMs > 0 && !m_waiting.empty() && m_waiting.back().mergeUntilMs >= nowMs) {
            m_waiting.back().bytes += piece;
            m_nWaiting += piece.size();
            mark(Mark::Merge, QStringLiteral("%1 ﾊﾞｲﾄ").arg(m_waiting.back().bytes.size()));
            continue;
        }
        qint64 due = qMax(nowMs + delay, m_nLastDue);
        const qint64 mergeUntil = m_spec.mergeMs > 0 ? nowMs + m_spec.mergeMs : -1;
        if (mergeUntil >= 0)
            due = qMax(due, mergeUntil);
        m_nLastDue = due;
        if (due <= nowMs && m_waiting.empty()) {
            ready->append(piece);
            continue;
        }
        m_waiting.push_back({due, mergeUntil, piece});
        m_nWaiting += piece.size();
    }
    DueAt(nowMs, ready);
}

void CRelayDisturber::DueAt(qint64 nowMs, QList<QByteArray> *ready)
{
    while (!m_waiting.empty() && m_waiting.front().dueMs <= nowMs) {
        m_nWaiting -= m_waiting.front().bytes.size();
        ready->append(std::move(m_waiting.front().bytes));
        m_waiting.pop_front();
    }
}

void CRelayDisturber::Clear()
{
    m_waiting.clear();
    m_nWaiting = 0;
}
