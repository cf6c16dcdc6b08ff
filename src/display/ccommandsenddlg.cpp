#include "display/ccommandsenddlg.h"

#include "display/chexconv.h"
#include "display/ctextpiecereader.h"
#include "platform/cp932.h"
#include "platform/dialogunits.h"
#include "platform/screenfit.h"
#include "platform/uifonts.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFile>
#include <QLabel>
#include <QPushButton>

#include <climits>
#include <cstring>

namespace {

const char *const kIdProperty = "qnCtrlId";

// The longest prefix of code page 932 bytes within `room` that ends on a whole character.
qsizetype WholeCharacters(const QByteArray &bytes, qsizetype room)
{
    qsizetype end = 0;
    while (end < bytes.size()) {
        const qsizetype width = CTextPieceReader::IsLeadByte(static_cast<unsigned char>(bytes[end])) &&
                                        end + 1 < bytes.size()
                                    ? 2
                                    : 1;
        if (end + width > room)
            break;
        end += width;
    }
    return end;
}

}  // namespace

CCommandSendDlg::CCommandSendDlg()
    : CMsgWnd<QDialog>(nullptr)
    , m_pSendBuf(std::make_unique<unsigned char[]>(QN_BUFFER_SIZE))
{
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
}

CCommandSendDlg::~CCommandSendDlg() = default;

BOOL CCommandSendDlg::Create(QObject *view, int kind)
{
    if (m_bWindow)
        return FALSE;
    m_pView = view;
    m_nKind = kind;
    OnInitDialog();
    m_bWindow = true;
    FitToScreen(this);
    show();
    return TRUE;
}

void CCommandSendDlg::DestroyWindow()
{
    if (!m_bWindow)
        return;
    hide();
    qDeleteAll(findChildren<QWidget *>(Qt::FindDirectChildrenOnly));
    m_bWindow = false;
}

QWidget *CCommandSendDlg::GetDlgItem(int id) const
{
    const QList<QWidget *> children = findChildren<QWidget *>(Qt::FindDirectChildrenOnly);
    for (QWidget *child : children) {
        if (child->property(kIdProperty).toInt() == id)
            return child;
    }
    return nullptr;
}

void CCommandSendDlg::EnableSend(bool enable)
{
    if (QWidget *send = GetDlgItem(IDC_SEND))
        send->setEnabled(enable);
}

void CCommandSendDlg::OnInitDialog()
{
    m_font = DialogFont(QString::fromUtf8(kFaceMsGothic), 9);
    setFont(m_font);
    setWindowTitle(QStringLiteral("ｺﾏﾝﾄﾞ送信"));
    setFixedSize(DluToPixels(m_font, 345, 155));

    // The template's controls in tab order.
    const auto place = [this](QWidget *control, int id, int x, int y, int width, int height) {
        control->setProperty(kIdProperty, id);
        control->setGeometry(DluToPixels(m_font, x, y, width, height));
    };
    auto *send = new QPushButton(QStringLiteral("送信"), this);
    place(send, IDC_SEND, 288, 7, 50, 14);
    send->setDefault(true);
    auto *clear = new QPushButton(QStringLiteral("ｸﾘｱ"), this);
    place(clear, IDC_CLEAR, 288, 25, 50, 14);
    auto *caption = new QLabel(this);
    caption->setAlignment(Qt::AlignLeft | Qt::AlignTop);  // a static text starts at its top
    place(caption, IDC_CAPTION, 7, 7, 160, 14);
    auto *writeFile = new QPushButton(QStringLiteral("ﾌｧｲﾙ書込み"), this);
    place(writeFile, IDC_WRITE_FILE, 288, 93, 50, 14);
    auto *readFile = new QPushButton(QStringLiteral("ﾌｧｲﾙ読込み"), this);
    place(readFile, IDC_READ_FILE, 288, 73, 50, 14);
    auto *sendText = new QCheckBox(QStringLiteral("ﾃｷｽﾄで送信"), this);
    place(sendText, IDC_SEND_TEXT, 209, 7, 58, 10);
    sendText->setChecked(m_bSendText != FALSE);

    connect(send, &QPushButton::clicked, this, &CCommandSendDlg::OnSend);
    connect(clear, &QPushButton::clicked, this, [this] { m_pInput->ClearAll(); });
    connect(writeFile, &QPushButton::clicked, this, &CCommandSendDlg::OnWriteFile);
    connect(readFile, &QPushButton::clicked, this, &CCommandSendDlg::OnReadFile);
    connect(sendText, &QCheckBox::toggled, this, [this](bool checked) { m_bSendText = checked ? TRUE : FALSE; });

    caption->setText(QStringLiteral("送信ﾃﾞｰﾀ"));

    m_pInput = new CInputEdit;
    m_pInput->CreateScaled(m_font, QnRect{0, 30, 420, 230}, this, IDC_INPUT, 0);
    m_pInput->setProperty(kIdProperty, IDC_INPUT);
    m_pInput->LimitText(QN_BUFFER_SIZE);
}

LRESULT CCommandSendDlg::WindowProc(UINT message, WPARAM, LPARAM)
{
    switch (message) {
    case WM_SESSION_EVENT:
        return 0;  // accepted and ignored
    default:
        return 0;
    }
}

void CCommandSendDlg::reject()
{
    if (m_pView)
        PostMessage(m_pView, WM_CHILD_CLOSE, static_cast<WPARAM>(m_nKind), 0);
}

void CCommandSendDlg::closeEvent(QCloseEvent *event)
{
    // The user's close box comes from the window system. A close the program starts itself (the
    // application quitting) is let through, or the window would hold the application open.
    if (!event->spontaneous()) {
        event->accept();
        return;
    }
    event->ignore();
    reject();
}

int CCommandSendDlg::BuildTextTelegram()
{
    // Lines joined by CR LF, none after the last; the telegram stops at the end of its buffer.
    unsigned char *out = m_pSendBuf.get();
    qsizetype length = 0;
    const int lines = m_pInput->GetLineCount();
    QString line;
    for (int i = 0; i < lines && length < QN_BUFFER_SIZE; ++i) {
        m_pInput->GetLineText(i, line, kLineChars);
        QByteArray bytes = ToCp932(line);
        if (i < lines - 1)
            bytes += "\r\n";
        const qsizetype take = WholeCharacters(bytes, QN_BUFFER_SIZE - length);
        memcpy(out + length, bytes.constData(), static_cast<size_t>(take));
        length += take;
        if (take < bytes.size())
            break;
    }
    return static_cast<int>(length);
}

int CCommandSendDlg::BuildHexTelegram()
{
    // Lines joined directly; every character that is no hex digit counts as a digit 0.
    QString joined;
    QString line;
    const int lines = m_pInput->GetLineCount();
    for (int i = 0; i < lines; ++i) {
        m_pInput->GetLineText(i, line, kLineChars);
        joined += line;
    }
    const QByteArray digits = ToCp932(joined);
    if (digits.isEmpty())
        return 0;
    CHexConv().HexString2Bin(digits, m_pSendBuf.get(), QN_BUFFER_SIZE);
    return qMin(CHexConv::DecodedLength(digits.size()), QN_BUFFER_SIZE);
}

void CCommandSendDlg::OnSend()
{
    if (!m_pInput)
        return;
    const int length = m_bSendText ? BuildTextTelegram() : BuildHexTelegram();
    if (length == 0)
        return;  // empty input: nothing to send
    m_nSendLen = length;
    PostMessage(m_pView, WM_SESSION_EVENT, EV_SEND, 0);
}

Prompts::FileRequest CCommandSendDlg::TextFileRequest(bool open) const
{
    Prompts::FileRequest request;
    request.open = open;
    request.filter = QStringLiteral("ﾃｷｽﾄﾌｧｲﾙ (*.txt)|*.txt|全てのﾌｧｲﾙ (*.*)|*.*||");
    request.defaultExtension = QStringLiteral("txt");
    request.overwritePrompt = !open;
    return request;
}

void CCommandSendDlg::ShowOpenError(const QString &path)
{
    Prompts::Instance().MessageBox(this, path + QStringLiteral(" Open err"), Prompts::AppTitle(), Prompts::Ok,
                                   Prompts::NoIcon);
}

void CCommandSendDlg::OnWriteFile()
{
    const QString path = Prompts::Instance().FileName(this, TextFileRequest(false));
    if (path.isEmpty() || !m_pInput)
        return;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        ShowOpenError(path);
        return;
    }
    // Every line, the last one included, ends with CR LF.
    QString line;
    const int lines = m_pInput->GetLineCount();
    for (int i = 0; i < lines; ++i) {
        m_pInput->GetLineText(i, line, kLineChars);
        file.write(ToCp932(line) + "\r\n");
    }
}

void CCommandSendDlg::OnReadFile()
{
    const QString path = Prompts::Instance().FileName(this, TextFileRequest(true));
    if (path.isEmpty() || !m_pInput)
        return;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        ShowOpenError(path);
        return;
    }
    m_pInput->ClearAll();
    // Each piece becomes a line of its own. Collected and appended at once (the same text as
    // appending piece by piece); reading stops once the input could take no more.
    const int limit = m_pInput->GetLimitText() > 0 ? m_pInput->GetLimitText() : INT_MAX;
    CTextPieceReader reader(&file);
    QByteArray piece;
    QString text;
    while (text.size() < limit && reader.ReadPiece(piece)) {
        text += FromCp932(piece);
        text += QLatin1Char('\n');
    }
    m_pInput->AppendText(text, false);
}
