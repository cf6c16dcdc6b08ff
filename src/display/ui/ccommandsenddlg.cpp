#include "display/ui/ccommandsenddlg.h"

#include "platform/chexconv.h"
#include "display/ctextpiecereader.h"
#include "platform/cp932.h"
#include "platform/ui/dialogunits.h"
#include "platform/ui/screenfit.h"
#include "platform/ui/uifonts.h"
#include "platform/wholefile.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFile>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTextBlock>
#include <QShortcut>

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
    // Ctrl+Return presses "送信" wherever the focus is in the window (Return alone starts a new line
    // in the input). Made once: the window's controls come and go, the keys stay.
    for (const QKeySequence &key : {QKeySequence(Qt::CTRL | Qt::Key_Return), QKeySequence(Qt::CTRL | Qt::Key_Enter)}) {
        auto *shortcut = new QShortcut(key, this);
        shortcut->setContext(Qt::WindowShortcut);
        connect(shortcut, &QShortcut::activated, this, &CCommandSendDlg::OnCtrlReturn);
    }
    m_byteLineTimer.setSingleShot(true);
    m_byteLineTimer.setInterval(kByteLineDelayMs);
    connect(&m_byteLineTimer, &QTimer::timeout, this, &CCommandSendDlg::UpdateByteLine);
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
    // Typing goes into the input at once.
    m_pInput->setFocus(Qt::OtherFocusReason);
    return TRUE;
}

void CCommandSendDlg::DestroyWindow()
{
    if (!m_bWindow)
        return;
    m_byteLineTimer.stop();
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
    connect(sendText, &QCheckBox::toggled, this, [this](bool checked) {
        m_bSendText = checked ? TRUE : FALSE;
        UpdateByteLine();
    });
    send->setToolTip(QStringLiteral("Ctrl+Enter でも送信します"));

    caption->setText(QStringLiteral("送信ﾃﾞｰﾀ"));

    m_pInput = new CInputEdit;
    m_pInput->CreateScaled(m_font, QnRect{0, 30, 420, 230}, this, IDC_INPUT, 0);
    m_pInput->setProperty(kIdProperty, IDC_INPUT);
    m_pInput->LimitText(QN_BUFFER_SIZE);
    CreateByteLine();
}

void CCommandSendDlg::CreateByteLine()
{
    // One line under the input; the window grows by it and every control keeps its place.
    auto *line = new QWidget(this);
    auto *layout = new QHBoxLayout(line);
    layout->setContentsMargins(4, 0, 4, 0);
    m_pByteLine = new QLabel(line);
    m_pByteLine->setAccessibleName(QStringLiteral("送信ﾊﾞｲﾄ数"));
    m_pNonHexLine = new QLabel(line);
    m_pNonHexLine->setAccessibleName(QStringLiteral("16進数でない文字"));
    QPalette red = m_pNonHexLine->palette();
    red.setColor(QPalette::WindowText, QColor(0xFF, 0x00, 0x00));
    m_pNonHexLine->setPalette(red);
    layout->addWidget(m_pByteLine);
    layout->addWidget(m_pNonHexLine, 1);
    const int top = m_pInput->geometry().bottom() + 3;
    const int height = fontMetrics().height() + 4;
    line->setGeometry(0, top, width(), height);
    setFixedSize(width(), qMax(this->height(), top + height + 3));
    connect(m_pInput, &QPlainTextEdit::textChanged, this, [this] {
        if (!m_byteLineTimer.isActive())
            m_byteLineTimer.start();
    });
    UpdateByteLine();
}

void CCommandSendDlg::UpdateByteLine()
{
    if (!m_pInput || !m_pByteLine || !m_pNonHexLine)
        return;
    qsizetype bytes = 0;
    QStringList notes;
    if (m_bSendText) {
        bytes = TextTelegram().size();
    } else {
        const QByteArray digits = HexDigits();
        bytes = HexTelegramLength(digits);
        if (const qsizetype nonHex = CHexConv::NonDigitCount(digits))
            notes << QStringLiteral("16進数でない文字 %1 個は 0 として送信します").arg(nonHex);
        if (digits.size() % 2 != 0)
            notes << QStringLiteral("16進数の桁数が奇数です");
    }
    // A telegram takes the first kLineChars characters of each line.
    const int lines = m_pInput->GetLineCount();
    for (int i = 0; i < lines; ++i) {
        if (m_pInput->document()->findBlockByNumber(i).length() - 1 > kLineChars) {
            notes << QStringLiteral("%1 行目が %2 文字を超えています (超えた分は送信しません)").arg(i + 1).arg(kLineChars);
            break;
        }
    }
    m_pByteLine->setText(QStringLiteral("%1 ﾊﾞｲﾄ").arg(bytes));
    m_pNonHexLine->setText(notes.join(QStringLiteral("  ")));
}

void CCommandSendDlg::OnCtrlReturn()
{
    auto *send = qobject_cast<QPushButton *>(GetDlgItem(IDC_SEND));
    if (send && send->isEnabled())
        send->click();
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

QByteArray CCommandSendDlg::TextTelegram() const
{
    // Lines joined by CR LF, none after the last; the telegram stops at the end of its buffer.
    QByteArray telegram;
    const int lines = m_pInput->GetLineCount();
    QString line;
    for (int i = 0; i < lines && telegram.size() < QN_BUFFER_SIZE; ++i) {
        m_pInput->GetLineText(i, line, kLineChars);
        QByteArray bytes = ToCp932(line);
        if (i < lines - 1)
            bytes += "\r\n";
        const qsizetype take = WholeCharacters(bytes, QN_BUFFER_SIZE - telegram.size());
        telegram.append(bytes.constData(), take);
        if (take < bytes.size())
            break;
    }
    return telegram;
}

int CCommandSendDlg::BuildTextTelegram()
{
    const QByteArray telegram = TextTelegram();
    memcpy(m_pSendBuf.get(), telegram.constData(), static_cast<size_t>(telegram.size()));
    return static_cast<int>(telegram.size());
}

QByteArray CCommandSendDlg::HexDigits() const
{
    // Lines joined directly; every character that is no hex digit counts as a digit 0.
    QString joined;
    QString line;
    const int lines = m_pInput->GetLineCount();
    for (int i = 0; i < lines; ++i) {
        m_pInput->GetLineText(i, line, kLineChars);
        joined += line;
    }
    return ToCp932(joined);
}

int CCommandSendDlg::HexTelegramLength(const QByteArray &digits)
{
    return qMin(CHexConv::DecodedLength(digits.size()), QN_BUFFER_SIZE);
}

int CCommandSendDlg::BuildHexTelegram()
{
    const QByteArray digits = HexDigits();
    if (digits.isEmpty())
        return 0;
    CHexConv().HexString2Bin(digits, m_pSendBuf.get(), QN_BUFFER_SIZE);
    return HexTelegramLength(digits);
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
    request.kind = request.defaultExtension;
    return request;
}

void CCommandSendDlg::ShowOpenError(const QString &path)
{
    Prompts::Instance().MessageBox(this, path + QStringLiteral(" Open err"), Prompts::AppTitle(), Prompts::Ok,
                                   Prompts::NoIcon);
}

void CCommandSendDlg::OnWriteFile()
{
    const QString path = Prompts::AskFileName(this, TextFileRequest(false));
    if (path.isEmpty() || !m_pInput)
        return;
    // Every line, the last one included, ends with CR LF.
    QByteArray bytes;
    QString line;
    const int lines = m_pInput->GetLineCount();
    for (int i = 0; i < lines; ++i) {
        m_pInput->GetLineText(i, line, kLineChars);
        bytes += ToCp932(line) + "\r\n";
    }
    // All or nothing: a full disk leaves an earlier file as it was.
    if (!WriteWholeFile(path, bytes))
        ShowOpenError(path);
}

void CCommandSendDlg::OnReadFile()
{
    const QString path = Prompts::AskFileName(this, TextFileRequest(true));
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
