#include "app/ui/cbatchtrace.h"

#include "app/cbatchoptions.h"
#include "display/ctracerecorder.h"
#include "display/ui/cmessagewnd.h"
#include "session/ui/cqnview.h"

#include <chrono>
#include <cstdio>

void CBatchTrace::Say(const QString &line)
{
    std::fputs((line + QLatin1Char('\n')).toUtf8().constData(), stderr);
    std::fflush(stderr);
}

bool CBatchTrace::Start(CQnView *view, const CBatchOptions &options)
{
    m_strPath = options.pcapng;
    if (m_strPath.isEmpty())
        return true;
    m_pView = view;
    CMessageWnd *history = view->HistoryWindow();
    QString error;
    if (!history->StartTraceRecordingTo(m_strPath, &error, options.pcapngSerial)) {
        Say(QStringLiteral("quillnet: pcapng: %1: %2").arg(m_strPath, error));
        return false;
    }
    connect(history->TraceRecorder(), &CTraceRecorder::Failed, this, [this](const QString &cause) {
        m_strFailure = cause;
        Say(QStringLiteral("quillnet: pcapng を書き込めません: %1 (%2)").arg(m_strPath, cause));
    });
    connect(history, &CMessageWnd::TraceReaderSlow, this, [] {
        Say(QStringLiteral("quillnet: pcapng の読み手が追いつかないため、一時ﾌｧｲﾙに書いています (電文は失われません)"));
    });
    return true;
}

bool CBatchTrace::End()
{
    if (!m_pView)
        return true;
    CMessageWnd *history = m_pView->HistoryWindow();
    if (history->IsTraceRecording())
        history->StopTraceRecording(std::chrono::milliseconds(-1));
    return m_strFailure.isEmpty();
}
