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
#include <QComboBox>
#include <QFile>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>
#include <QTextBlock>

#include <algorithm>
#include <climits>
#include <cstring>
#include <utility>

namespace {

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
    m_repeatTimer.setSingleShot(true);
    m_repeatTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_repeatTimer, &QTimer::timeout, this, &CCommandSendDlg::OnRepeatTick);
    m_repeatCounterTimer.setInterval(kByteLineDelayMs);
    connect(&m_repeatCounterTimer, &QTimer::timeout, this, &CCommandSendDlg::UpdateRepeatCounter);
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
    StopRepeat(QString());
    m_byteLineTimer.stop();
    hide();
    qDeleteAll(findChildren<QWidget *>(Qt::FindDirectChildrenOnly));
    m_bWindow = false;
    m_bViewAllowsSend = true;  // until the view sets "送信" again for the next window
}

QWidget *CCommandSendDlg::GetDlgItem(int id) const
{
    // The send tools sit in rows of their own: look below the window's direct children too.
    const QList<QWidget *> children = findChildren<QWidget *>();
    for (QWidget *child : children) {
        if (child->property(kIdProperty).toInt() == id)
            return child;
    }
    return nullptr;
}

void CCommandSendDlg::EnableSend(bool enable)
{
    if (!enable && m_repeat.IsRunning())
        StopRepeat(QStringLiteral("送信できない状態になったため停止"));
    m_bViewAllowsSend = enable;
    UpdateSendButton();
}

void CCommandSendDlg::UpdateSendButton()
{
    if (QWidget *send = GetDlgItem(IDC_SEND))
        send->setEnabled(m_bViewAllowsSend && (!m_bHexRefused || m_repeat.IsRunning()));
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
    CreateSendTools();
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
    QByteArray typed;
    m_bHexRefused = false;
    if (m_bSendText) {
        typed = TextTelegram();
    } else {
        QString refusal;
        m_bHexRefused = !HexTelegram(&typed, &refusal);
        notes << refusal;
    }
    bytes = typed.size();
    // A telegram takes the first kLineChars characters of each line.
    const int lines = m_pInput->GetLineCount();
    for (int i = 0; i < lines; ++i) {
        if (m_pInput->document()->findBlockByNumber(i).length() - 1 > kLineChars) {
            notes << QStringLiteral("%1 行目が %2 文字を超えています (超えた分は送信しません)").arg(i + 1).arg(kLineChars);
            break;
        }
    }
    QString checksumText;
    QString error;
    if (const std::shared_ptr<const CChecksumRule> rule = ChecksumRule(&error); rule && !m_bHexRefused) {
        const QByteArray first = m_tools.repeatOn ? CRepeatSend::Stamp(typed, Sequence(), 0) : typed;
        const QByteArray value = rule->Value(first);
        checksumText = QStringLiteral("  ﾁｪｯｸｻﾑ ") +
                       QString::fromLatin1(rule->IsAscii() ? value : value.toHex(' ').toUpper());
        bytes += rule->ValueBytes();
    }
    if (!error.isEmpty())
        notes << error;
    if (m_tools.repeatOn && !m_bHexRefused)
        notes << CRepeatSend::CheckSequence(typed, Sequence());
    notes.removeAll(QString());
    m_pByteLine->setText(QStringLiteral("%1 ﾊﾞｲﾄ").arg(bytes) + checksumText);
    m_pNonHexLine->setText(notes.join(QStringLiteral("  ")));
    // Whole in the tooltip when the window is too narrow for it.
    m_pNonHexLine->setToolTip(m_pNonHexLine->text());
    UpdateSendButton();
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
    return WithLineEnd(telegram);
}

int CCommandSendDlg::BuildTextTelegram()
{
    const QByteArray telegram = TextTelegram();
    memcpy(m_pSendBuf.get(), telegram.constData(), static_cast<size_t>(telegram.size()));
    return static_cast<int>(telegram.size());
}

bool CCommandSendDlg::HexTelegram(QByteArray *telegram, QString *error) const
{
    // Lines joined directly: a byte may start at the end of one line and end on the next.
    QString joined;
    QList<qsizetype> lineStarts;
    QString line;
    const int lines = m_pInput->GetLineCount();
    for (int i = 0; i < lines; ++i) {
        lineStarts.append(joined.size());
        m_pInput->GetLineText(i, line, kLineChars);
        joined += line;
    }
    error->clear();
    const qsizetype refused = CHexConv::DecodeSeparated(joined, telegram);
    if (refused < 0) {
        // The input's limit keeps a telegram within the buffer; cut it there should that change.
        if (telegram->size() > QN_BUFFER_SIZE)
            telegram->truncate(QN_BUFFER_SIZE);
        return true;
    }
    telegram->clear();
    // The last line starting at or before the character (the empty lines before it start there too).
    const qsizetype row = std::upper_bound(lineStarts.cbegin(), lineStarts.cend(), refused) - lineStarts.cbegin() - 1;
    const QString where = QStringLiteral("%1 行目 %2 文字目").arg(row + 1).arg(refused - lineStarts[row] + 1);
    const QChar c = joined[refused];
    const QString character = joined.mid(refused, c.isHighSurrogate() ? 2 : 1);
    const char32_t code = character.toUcs4().value(0);
    // Blanks and control characters other than a tab are named by their code.
    const QString shown = QChar::isPrint(code) && !QChar::isSpace(code)
                              ? character
                              : QStringLiteral("U+%1").arg(QString::number(code, 16).toUpper().rightJustified(4, QLatin1Char('0')));
    *error = (CHexConv::IsDigit(c) ? QStringLiteral("送信できません: %1の「%2」で16進数の桁数が奇数です")
                                   : QStringLiteral("送信できません: %1の「%2」は16進数でも区切りでもありません"))
                 .arg(where, shown);
    return false;
}

int CCommandSendDlg::BuildHexTelegram()
{
    QByteArray telegram;
    QString error;
    if (!HexTelegram(&telegram, &error)) {
        UpdateByteLine();  // it says why, and "送信" stays disabled
        return 0;
    }
    memcpy(m_pSendBuf.get(), telegram.constData(), static_cast<size_t>(telegram.size()));
    return static_cast<int>(telegram.size());
}

void CCommandSendDlg::OnSend()
{
    if (!m_pInput)
        return;
    if (m_repeat.IsRunning()) {
        StopRepeat(QString());  // "送信" reads "停止" during a repetition
        return;
    }
    const int length = m_bSendText ? BuildTextTelegram() : BuildHexTelegram();
    if (length == 0)
        return;  // empty input: nothing to send
    if (m_tools.checksumOn || m_tools.repeatOn) {
        SendWithTools(QByteArray(reinterpret_cast<const char *>(m_pSendBuf.get()), length));
        return;
    }
    m_nSendLen = length;
    PostMessage(m_pView, WM_SESSION_EVENT, EV_SEND, 0);
}

void CCommandSendDlg::PostTelegram(const QByteArray &telegram)
{
    m_nSendLen = int(telegram.size());
    memcpy(m_pSendBuf.get(), telegram.constData(), static_cast<size_t>(telegram.size()));
    m_bAwaitingView = true;
    PostMessage(m_pView, WM_SESSION_EVENT, EV_SEND, 0);
}

bool CCommandSendDlg::SendWithTools(const QByteArray &typed)
{
    QString error;
    const std::shared_ptr<const CChecksumRule> rule = ChecksumRule(&error);
    const CRepeatSend::Sequence sequence = Sequence();
    if (error.isEmpty() && m_tools.repeatOn)
        error = CRepeatSend::CheckSequence(typed, sequence);
    if (error.isEmpty() && rule && typed.size() + rule->ValueBytes() > QN_BUFFER_SIZE)
        error = QStringLiteral("ﾁｪｯｸｻﾑを付けると送信ﾃﾞｰﾀが %1 ﾊﾞｲﾄを超えます").arg(QN_BUFFER_SIZE);
    if (!error.isEmpty()) {
        Prompts::Instance().MessageBox(this, error, Prompts::AppTitle(), Prompts::Ok, Prompts::Exclamation);
        return false;
    }
    if (!m_tools.repeatOn) {
        PostTelegram(rule ? rule->Apply(typed) : typed);
        return true;
    }
    m_repeat.Start(typed, sequence, rule, m_tools.intervalMs, m_tools.count);
    m_repeatClock.start();
    m_bAwaitingView = false;
    if (auto *send = qobject_cast<QPushButton *>(GetDlgItem(IDC_SEND)))
        send->setText(QStringLiteral("停止"));
    m_repeatCounterTimer.start();
    OnRepeatTick();
    return true;
}

void CCommandSendDlg::SendDone(bool sent)
{
    if (!std::exchange(m_bAwaitingView, false) || !m_repeat.IsRunning())
        return;
    if (!sent) {
        StopRepeat(QStringLiteral("送信に失敗したため停止"));
        return;
    }
    OnRepeatTick();
}

void CCommandSendDlg::OnRepeatTick()
{
    // One telegram at a time: the next is posted once the view has handled this one (SendDone).
    if (!m_repeat.IsRunning() || m_bAwaitingView)
        return;
    const qint64 elapsed = m_repeatClock.nsecsElapsed();
    if (!m_repeat.IsDue(elapsed)) {
        m_repeatTimer.start(m_repeat.MillisecondsToNext(elapsed));
        return;
    }
    PostTelegram(m_repeat.Next());
    if (!m_repeat.IsRunning())
        StopRepeat(QString());  // that was the last one
}

void CCommandSendDlg::StopRepeat(const QString &why)
{
    const bool wasRunning = m_repeatCounterTimer.isActive();
    m_repeat.Stop();
    m_repeatTimer.stop();
    m_repeatCounterTimer.stop();
    if (!wasRunning)
        return;
    if (auto *send = qobject_cast<QPushButton *>(GetDlgItem(IDC_SEND)))
        send->setText(QStringLiteral("送信"));
    UpdateSendButton();
    UpdateRepeatCounter();
    if (auto *counter = qobject_cast<QLabel *>(GetDlgItem(IDC_REPEAT_COUNTER)); counter && !why.isEmpty())
        counter->setText(counter->text() + QStringLiteral(" (%1)").arg(why));
}

void CCommandSendDlg::UpdateRepeatCounter()
{
    auto *counter = qobject_cast<QLabel *>(GetDlgItem(IDC_REPEAT_COUNTER));
    if (!counter)
        return;
    counter->setText(m_repeat.Count() > 0 ? QStringLiteral("%1 / %2 回送信").arg(m_repeat.Sent()).arg(m_repeat.Count())
                                          : QStringLiteral("%1 回送信").arg(m_repeat.Sent()));
}

void CCommandSendDlg::SetPeers(bool many, const QList<int> &peers)
{
    auto *combo = qobject_cast<QComboBox *>(GetDlgItem(IDC_PEER));
    if (!many)
        m_nPeerTarget = 0;
    if (!combo)
        return;
    combo->setVisible(many);
    if (QWidget *list = GetDlgItem(IDC_PEER_LIST))
        list->setVisible(many);
    if (!many)
        return;
    if (combo->count() == 0) {
        combo->addItem(QStringLiteral("全ｸﾗｲｱﾝﾄ"), 0);
        m_shownPeers.clear();
    }
    // The chosen client stays chosen when it leaves: a send then fails, it never goes to all.
    std::vector<int> numbers(peers.begin(), peers.end());
    if (!std::is_sorted(numbers.begin(), numbers.end()))
        std::sort(numbers.begin(), numbers.end());
    if (m_nPeerTarget != 0 && !std::binary_search(numbers.begin(), numbers.end(), m_nPeerTarget))
        numbers.insert(std::lower_bound(numbers.begin(), numbers.end(), m_nPeerTarget), m_nPeerTarget);
    // Both lists are in order: walk them together, taking out and putting in only what differs.
    size_t at = 0;
    for (size_t i = 0; i < numbers.size();) {
        if (at < m_shownPeers.size() && m_shownPeers[at] == numbers[i]) {
            ++at;
            ++i;
        } else if (at < m_shownPeers.size() && m_shownPeers[at] < numbers[i]) {
            combo->removeItem(int(at) + 1);
            m_shownPeers.erase(m_shownPeers.begin() + qsizetype(at));
        } else {
            combo->insertItem(int(at) + 1, QStringLiteral("#%1").arg(numbers[i]), numbers[i]);
            m_shownPeers.insert(m_shownPeers.begin() + qsizetype(at), numbers[i]);
            ++at;
            ++i;
        }
    }
    while (m_shownPeers.size() > at) {
        combo->removeItem(combo->count() - 1);
        m_shownPeers.pop_back();
    }
    const auto chosen = std::lower_bound(m_shownPeers.begin(), m_shownPeers.end(), m_nPeerTarget);
    const int index = m_nPeerTarget == 0 ? 0 : int(chosen - m_shownPeers.begin()) + 1;
    if (combo->currentIndex() != index)
        combo->setCurrentIndex(index);
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
