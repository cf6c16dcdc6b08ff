// Received-data capture: every byte the receive path reads, written raw to a file the user chose;
// for a server of many clients, on request, each client's bytes also to a file of its own.
#include "session/ui/cqnview.h"

#include "document/cconnectiontype.h"
#include "document/cqndoc.h"
#include "net/cendpoint.h"
#include "net/ctcpserversettings.h"
#include "platform/exclusivefile.h"
#include "platform/prompts.h"

#include <QDir>
#include <QFileInfo>

namespace {

// "dir/name#3.bin" beside "dir/name.bin".
QString ClientCapturePath(const QString &path, int client)
{
    const QFileInfo info(path);
    const QString name = info.completeBaseName() + QStringLiteral("#%1").arg(client) +
                         (info.suffix().isEmpty() ? QString() : QLatin1Char('.') + info.suffix());
    return info.dir().filePath(name);
}

// Writes all of `data`; false when the file takes less.
bool WriteAll(QFile &file, const unsigned char *data, int length)
{
    qint64 written = 0;
    while (written < length) {
        const qint64 n = file.write(reinterpret_cast<const char *>(data) + written, length - written);
        if (n <= 0)
            break;
        written += n;
    }
    return written == length;
}

}  // namespace

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
    // A server of many clients may keep each client's bytes apart as well.
    m_bCapturePerClient = false;
    if (ManyPeersSet()) {
        const QString question = QStringLiteral("ｸﾗｲｱﾝﾄごとのﾌｧｲﾙにも保存しますか?\n%1 など (同名のﾌｧｲﾙは上書きされます)")
                                     .arg(QFileInfo(ClientCapturePath(path, 1)).fileName());
        m_bCapturePerClient = Prompts::Instance().MessageBox(this, question, Prompts::AppTitle(), Prompts::YesNo,
                                                             Prompts::Question) == IDYES;
    }
    Q_EMIT CommandStateChanged();
}

bool CQnView::ManyPeersSet() const
{
    // The document's type and settings, whether or not its endpoint is open.
    const CConnectionType *row = m_pDocument ? CConnectionType::Find(m_pDocument->SocketType()) : nullptr;
    if (!row || !row->Has(Capability::ManyPeers))
        return false;
    CTcpServerSettings server;
    QString error;
    return CTcpServerSettings::Parse(CConnectionType::Texts(*m_pDocument, row->EndpointSlots()), &server, &error) &&
           server.clientLimit > 0;
}

void CQnView::StopCapture()
{
    if (!m_fileCapture.isOpen())
        return;
    m_fileCapture.close();
    m_clientCaptures.clear();
    Q_EMIT CommandStateChanged();
}

void CQnView::WriteCapture(const unsigned char *data, int length)
{
    // Unbuffered: the file holds each telegram once its receive event has been handled.
    // Disk full, file removed or medium gone: stop capturing, keep what was written, and say why.
    if (!WriteAll(m_fileCapture, data, length)) {
        CaptureFailed(m_strCaptureFile + QStringLiteral(" Write err\n") + m_fileCapture.errorString());
        return;
    }
    const int client = m_bCapturePerClient && m_pEndpoint && m_pEndpoint->ServesManyPeers() ? m_pEndpoint->SelectedPeer() : 0;
    if (client <= 0)
        return;
    QFile *file = ClientCaptureFile(client);
    if (file && !WriteAll(*file, data, length))
        CaptureFailed(file->fileName() + QStringLiteral(" Write err\n") + file->errorString());
}

QFile *CQnView::ClientCaptureFile(int client)
{
    // A number's file stays open for the whole capture: a client that takes the number of one gone
    // (after the server was closed and opened again) adds to it.
    std::unique_ptr<QFile> &file = m_clientCaptures[client];
    if (file)
        return file.get();
    file = std::make_unique<QFile>();
    const QString path = ClientCapturePath(m_strCaptureFile, client);
    if (OpenExclusive(*file, path))
        return file.get();
    CaptureFailed(path + QStringLiteral(" Open err"));
    return nullptr;
}

void CQnView::CaptureFailed(const QString &text)
{
    // The box waits until the receive event has been handled: its event loop would otherwise run the
    // next receive in the middle of this one.
    const QString message = text + QStringLiteral("\n受信ﾃﾞｰﾀの保存を終了しました。");
    StopCapture();
    QMetaObject::invokeMethod(
        this,
        [this, message] {
            Prompts::Instance().MessageBox(this, message, Prompts::AppTitle(), Prompts::Ok, Prompts::Exclamation);
        },
        Qt::QueuedConnection);
}
