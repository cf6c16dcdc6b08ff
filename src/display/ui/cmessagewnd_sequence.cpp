// The History's ｼｰｹﾝｽとして保存: the telegrams of the selected lines, with their bytes and times, for
// the view to record as a command sequence.
#include "display/ui/cmessagewnd.h"

#include "display/ui/clineview.h"

#include <QAction>

namespace {

// The bytes of the telegram whose first line `line` is; false for other lines (log text, a text
// display's later lines) and for a telegram shown as text only up to a zero byte.
bool TelegramBytesOf(const CLineStore::Line &line, QByteArray *bytes)
{
    if (line.direction == 0 || line.body < 0)
        return false;
    if (line.rawEnd >= 0) {
        if (line.rawBegin != 0 || line.rawShort)
            return false;
        *bytes = line.raw;
        return true;
    }
    if (!line.hexPending.isEmpty()) {
        *bytes = line.hexPending;
        return true;
    }
    const qsizetype headSize = line.head.size();
    *bytes = line.body >= headSize ? QByteArray::fromHex(line.tail.sliced(line.body - headSize))
                                   : QByteArray::fromHex(line.Mid(line.body, line.Length()).toLatin1());
    return true;
}

}  // namespace

void CMessageWnd::CreateSequenceTools()
{
    m_pSaveSequence = new QAction(QStringLiteral("ｼｰｹﾝｽとして保存"), this);
    m_pSaveSequence->setToolTip(QStringLiteral("選択した行 (選択がなければ全部) をｺﾏﾝﾄﾞ一覧のｼｰｹﾝｽにします"));
    connect(m_pSaveSequence, &QAction::triggered, this, &CMessageWnd::SequenceRequested);
}

QList<CMessageWnd::TelegramBytes> CMessageWnd::SelectedTelegrams() const
{
    QList<TelegramBytes> telegrams;
    if (!m_pText || m_pText->RowCount() == 0)
        return telegrams;
    int first = 0;
    int last = m_pText->RowCount() - 1;
    if (m_pText->HasSelection()) {
        const auto [from, to] = m_pText->SelectedRows();
        first = qMin(last, from);
        last = qMin(last, to);
    }
    const CLineStore &store = m_pText->Store();
    for (int row = first; row <= last; ++row) {
        const CLineStore::Line &line = store.At(m_pText->LineOfRow(row));
        TelegramBytes telegram;
        if (!TelegramBytesOf(line, &telegram.bytes) || telegram.bytes.isEmpty())
            continue;
        telegram.direction = line.direction;
        telegram.when = line.when;
        telegrams.append(telegram);
    }
    return telegrams;
}
