// Received-data capture: every byte the receive path reads, written raw to a file the user chose.
#include "session/ui/cqnview.h"

#include "platform/exclusivefile.h"
#include "platform/prompts.h"

void CQnView::OnCaptureStart()
{
    Prompts::FileRequest request;
    request.open = false;
    request.filter = QStringLiteral("ﾊﾞｲﾅﾘﾌｧｲﾙ (*.bin)|*.bin|全てのﾌｧｲﾙ (*.*)|*.*||");
    request.defaultExtension = QStringLiteral("bin");
    request.overwritePrompt = true;
    request.kind = request.defaultExtension;
    const QString path = Prompts::AskFileName(this, request);
    if (path.isEmpty())
        return;
    m_strCaptureFile = path;

    // Held exclusively: a file another capture holds is neither opened nor emptied.
    if (!OpenExclusive(m_fileCapture, path)) {
        Prompts::Instance().MessageBox(this, path + QStringLiteral(" Open err"), Prompts::AppTitle(), Prompts::Ok,
                                       Prompts::NoIcon);
        return;
    }
    Q_EMIT CommandStateChanged();
}

void CQnView::StopCapture()
{
    if (!m_fileCapture.isOpen())
        return;
    m_fileCapture.close();
    Q_EMIT CommandStateChanged();
}

void CQnView::WriteCapture(const unsigned char *data, int length)
{
    // Unbuffered: the file holds each telegram once its receive event has been handled.
    qint64 written = 0;
    while (written < length) {
        const qint64 n = m_fileCapture.write(reinterpret_cast<const char *>(data) + written, length - written);
        if (n <= 0)
            break;
        written += n;
    }
    if (written == length)
        return;
    // Disk full, file removed or medium gone: stop capturing, keep what was written, and say why.
    // The box waits until the receive event has been handled: its event loop would otherwise run the
    // next receive in the middle of this one.
    const QString text = m_strCaptureFile + QStringLiteral(" Write err\n") + m_fileCapture.errorString() +
                         QStringLiteral("\n受信ﾃﾞｰﾀの保存を終了しました。");
    StopCapture();
    QMetaObject::invokeMethod(
        this,
        [this, text] {
            Prompts::Instance().MessageBox(this, text, Prompts::AppTitle(), Prompts::Ok, Prompts::Exclamation);
        },
        Qt::QueuedConnection);
}
