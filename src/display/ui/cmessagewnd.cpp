#include "display/ui/cmessagewnd.h"

#include "display/ui/cdumpview.h"
#include "display/ui/cfindbar.h"
#include "display/clinerecorder.h"
#include "display/ctracerecorder.h"
#include "display/ui/clineview.h"
#include "platform/ui/dialogunits.h"
#include "platform/ui/screenfit.h"
#include "platform/ui/uifonts.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QPushButton>
#include <QShowEvent>

#include <cstring>

CMessageWnd::CMessageWnd() = default;

CMessageWnd::~CMessageWnd() = default;

BOOL CMessageWnd::Create(QObject *view, int kind)
{
    if (m_nKind != 0)
        return FALSE;
    m_pView = view;
    m_nKind = kind;
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint
                   | Qt::WindowCloseButtonHint);
    // A tool window left open must not keep the program running after the main window closes.
    setAttribute(Qt::WA_QuitOnClose, false);
    resize(DluToPixels(DialogFont(QString::fromUtf8(kFaceMsPGothic), 9), 409, 339));

    const double s = ScaleForDpi(LogicalDpiX(this));
    m_font = LogFont(QString::fromUtf8(kFaceMsGothic), static_cast<int>(12 * s));
    auto place = [s, this](QWidget *control, int left, int top, int right, int bottom) {
        const QPoint topLeft(static_cast<int>(left * s), static_cast<int>(top * s));
        const QPoint bottomRight(static_cast<int>(right * s), static_cast<int>(bottom * s));
        control->setGeometry(QRect(topLeft, QSize(bottomRight.x() - topLeft.x(), bottomRight.y() - topLeft.y())));
        control->setFont(m_font);
    };
    m_pClear = new QPushButton(QStringLiteral("ｸﾘｱ"), this);
    place(m_pClear, 0, 0, 80, 20);
    m_pNoScroll = new QCheckBox(QStringLiteral("ｽｸﾛｰﾙしない"), this);
    place(m_pNoScroll, 100, 0, 200, 20);
    m_pNoDisplay = new QCheckBox(QStringLiteral("表示しない"), this);
    place(m_pNoDisplay, 200, 0, 300, 20);
    m_pTextDisplay = new QCheckBox(QStringLiteral("ﾃｷｽﾄで表示"), this);
    place(m_pTextDisplay, 300, 0, 400, 20);
    m_pTextDisplay->setVisible(m_nKind == KIND_HISTORY);

    m_pText = new CLineView(this);
    m_pText->setFont(m_font);
    CreateTools();
    PlaceTextArea();
    connect(m_pClear, &QPushButton::clicked, m_pText, &CLineView::Clear);
    setEnabled(false);
    return TRUE;
}

void CMessageWnd::AddLine(const QString &text)
{
    if (!m_pText || m_pNoDisplay->isChecked())
        return;
    AppendEntry(StampedLines(text, false));
}

void CMessageWnd::AddEventLine(const QString &text)
{
    if (!m_pText || m_pNoDisplay->isChecked())
        return;
    AppendEntry(StampedLines(text, true));
}

void CMessageWnd::AddMark(const QString &text)
{
    if (!m_pText || m_pNoDisplay->isChecked())
        return;
    if (m_pFindBar)
        m_pFindBar->OfferMarks();
    std::vector<CLineStore::Line> lines = StampedLines(text, true);
    for (CLineStore::Line &line : lines)
        line.mark = true;
    AppendEntry(std::move(lines));
}

std::vector<CLineStore::Line> CMessageWnd::StampedLines(const QString &text, bool timed)
{
    std::vector<CLineStore::Line> lines = CLineStore::SplitStampedLines(CurrentStamp(), text);
    if (timed) {
        // To the microsecond, as a telegram's line.
        const qint64 when = std::chrono::duration_cast<std::chrono::microseconds>(m_stampClock.time_since_epoch()).count();
        for (CLineStore::Line &line : lines)
            line.when = when;
    }
    return lines;
}

QByteArray CMessageWnd::AddTelegram(const QString &prefix, const unsigned char *data, int length)
{
    QByteArray hex;
    m_hexConv.Bin2HexString(data, length, hex, kHexByteLimit);
    AddTelegramLine(prefix, data, length, hex, QByteArray());
    return hex;
}

void CMessageWnd::AddTelegramLines(std::initializer_list<QStringView> prefixes, const unsigned char *data, int length,
                                   const QByteArray &kept)
{
    QByteArray hex;
    QByteArray pending;
    const int count = qBound(0, length, kHexByteLimit);
    if (AddsHexLines()) {
        // A hidden window that records nothing keeps the bytes; the digits wait until they are seen.
        if (!KeepsBytes()) {
            hex = m_pText->Store().TakeBuffer(qsizetype(count) * 2);
            m_hexConv.Bin2HexString(data, length, hex, kHexByteLimit);
        } else if (kept.size() == count) {
            pending = kept;
        } else {
            pending = KeptBytesBuffer(length);
            CLineStore::CopyIn(pending.data(), data, count);
        }
    }
    for (const QStringView prefix : prefixes)
        AddTelegramLine(prefix, data, length, hex, pending);
}

QByteArray CMessageWnd::KeptBytesBuffer(int length) const
{
    return AddsHexLines() && KeepsBytes() ? m_pText->Store().TakeBuffer(qBound(0, length, kHexByteLimit)) : QByteArray();
}

bool CMessageWnd::ShowsTelegrams() const
{
    return m_pText && !m_pNoDisplay->isChecked();
}

bool CMessageWnd::AddsHexLines() const
{
    return ShowsTelegrams() && !(m_nKind == KIND_HISTORY && m_pTextDisplay->isChecked());
}

bool CMessageWnd::KeepsBytes() const
{
    return !isVisible() && !m_pRecorder;
}

void CMessageWnd::AddTelegramLine(QStringView prefix, const unsigned char *data, int length, const QByteArray &hex,
                                  const QByteArray &pending)
{
    const char direction = prefix.startsWith(u'R') ? 'R' : prefix.startsWith(u'S') ? 'S' : 0;
    // The clock is read for S lines, and for R lines only while their response time is shown. The
    // time belongs to the first R line after an S line: later R lines answer nothing of this side's.
    QString response;
    if (direction == 'R' && m_bSent) {
        if (m_bResponseTime)
            response = ResponseText(std::chrono::steady_clock::now() - m_lastSend);
        m_bSent = false;
    }
    if (direction == 'S') {
        m_lastSend = std::chrono::steady_clock::now();
        m_bSent = true;
    }
    if (!ShowsTelegrams()) {
        TraceTelegram(direction, data, length, pending, -1);
        return;
    }
    const qint64 serial = m_pText->Store().FirstSerial() + m_pText->Store().Count();
    QString head = CurrentStamp();
    // The time of the stamp, to the microsecond, for the dump view and the trace alike.
    const qint64 when = std::chrono::duration_cast<std::chrono::microseconds>(m_stampClock.time_since_epoch()).count();
    head += prefix;
    head += response;
    std::vector<CLineStore::Line> lines;
    bool digitsOfAll = false;  // the line's digits are every byte of the telegram
    if (m_nKind == KIND_HISTORY && m_pTextDisplay->isChecked()) {
        lines = TextLines(head, data, length);
    } else if (!pending.isEmpty()) {
        lines.emplace_back();
        lines.back().head = head;
        lines.back().hexPending = pending;
    } else {
        lines.push_back(CLineStore::Line::FromText(head, hex));
        digitsOfAll = length > 0 && hex.size() == 2 * qsizetype(length);
    }
    lines.front().body = static_cast<qint32>(head.size());
    for (CLineStore::Line &line : lines) {
        line.direction = direction;
        line.when = when;
    }
    AppendEntry(std::move(lines));
    TraceTelegram(direction, data, length, pending, serial, digitsOfAll);
}

std::vector<CLineStore::Line> CMessageWnd::TextLines(const QString &lead, const unsigned char *data, int length) const
{
    // The bytes up to the first zero byte (all of them when control bytes are marked), as text.
    qsizetype size = 0;
    if (data && length > 0) {
        const void *zero = m_bControlMarks ? nullptr : std::memchr(data, 0, static_cast<size_t>(length));
        size = zero ? static_cast<const unsigned char *>(zero) - data : length;
    }
    const QByteArrayView bytes(data, size);
    const quint8 decoding = m_encoding | (m_bControlMarks ? CLineStore::Line::kControlMarks : 0);
    std::vector<CLineStore::Line> lines;
    // One copy of the bytes for all the lines: a byte sequence is found across their line breaks.
    const QByteArray shared = bytes.toByteArray();
    auto add = [&](qsizetype from, qsizetype to, qsizetype next) {
        const QString text = CTextDecoding::Decode(bytes.sliced(from, to - from), m_encoding, m_bControlMarks);
        const QString start = lines.empty() ? lead : QString();
        lines.push_back(CLineStore::Line::FromText(start + text));
        lines.back().raw = shared;
        lines.back().rawBegin = static_cast<qint32>(from);
        lines.back().rawEnd = static_cast<qint32>(next);
        lines.back().body = static_cast<qint32>(start.size());
        lines.back().decoding = decoding;
        lines.back().rawShort = size < length;
    };
    // CR LF, CR or LF end a line unless control bytes are marked (they are never part of a character).
    qsizetype start = 0;
    for (qsizetype i = 0; i < size && !m_bControlMarks; ++i) {
        if (bytes[i] != '\r' && bytes[i] != '\n')
            continue;
        const qsizetype end = i;
        if (bytes[i] == '\r' && i + 1 < size && bytes[i + 1] == '\n')
            ++i;
        add(start, end, i + 1);
        start = i + 1;
    }
    add(start, size, size);
    return lines;
}

int CMessageWnd::LineCount() const
{
    return m_pText ? m_pText->LineCount() : 0;
}

QString CMessageWnd::LineText(int index) const
{
    return m_pText ? m_pText->LineText(index) : QString();
}

QStringList CMessageWnd::Lines() const
{
    return m_pText ? m_pText->Lines() : QStringList();
}

QWidget *CMessageWnd::GetDlgItem(int id) const
{
    switch (id) {
    case IDC_TEXT_AREA:
        return m_pText;
    case IDC_NO_SCROLL:
        return m_pNoScroll;
    case IDC_NO_DISPLAY:
        return m_pNoDisplay;
    case IDC_TEXT_DISPLAY:
        return m_pTextDisplay;
    case IDC_CLEAR:
        return m_pClear;
    default:
        return nullptr;
    }
}

void CMessageWnd::SetTextBudget(qsizetype bytes)
{
    if (m_pText)
        m_pText->SetBudget(bytes);
}

qsizetype CMessageWnd::StoredBytes() const
{
    return m_pText ? m_pText->StoredBytes() : 0;
}

QString CMessageWnd::TimeStamp(std::time_t when)
{
    std::tm local{};
    if (!localtime_r(&when, &local))
        return QString();
    char buffer[128];
    const size_t length = std::strftime(buffer, sizeof buffer, "%m/%d/%y %H:%M:%S  ", &local);
    return QString::fromLatin1(buffer, static_cast<qsizetype>(length));
}

LRESULT CMessageWnd::WindowProc(UINT /*message*/, WPARAM /*wParam*/, LPARAM /*lParam*/)
{
    // The window takes no messages of the program; its controls and the close box are handled below.
    return 0;
}

void CMessageWnd::closeEvent(QCloseEvent *event)
{
    // The user's close box: the view decides; it hides the window, which keeps its text. A close
    // the program starts itself (the application quitting) is let through.
    if (!event->spontaneous()) {
        event->accept();
        return;
    }
    event->ignore();
    RequestClose();
}

void CMessageWnd::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Escape:
        if (m_pFindBar && !m_pFindBar->isHidden())
            HideFindBar();
        else
            RequestClose();
        event->accept();
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        event->accept();  // no default action
        break;
    default:
        CMsgWnd<QWidget>::keyPressEvent(event);
        break;
    }
}

void CMessageWnd::resizeEvent(QResizeEvent *event)
{
    CMsgWnd<QWidget>::resizeEvent(event);
    PlaceTextArea();
}

void CMessageWnd::showEvent(QShowEvent *event)
{
    if (!event->spontaneous())
        FitToScreen(this);
    CMsgWnd<QWidget>::showEvent(event);
}

void CMessageWnd::AppendEntry(std::vector<CLineStore::Line> lines)
{
    // While this window is active the focus leaves the text area, so that it does not follow the
    // insertion on its own.
    const bool active = isActiveWindow();
    if (m_pText->AtLineLimit() && active)
        m_pNoScroll->setFocus();
    const bool follow = !m_pNoScroll->isChecked();
    if (!follow && active)
        m_pNoScroll->setFocus();
    if (m_pRecorder && ShowsDump()) {
        m_pRecorder->Append(CDumpModel::EntryText(lines, &m_recordWhen, m_pText->ChecksumCheck()));
    } else if (m_pRecorder) {
        for (const CLineStore::Line &line : lines)
            m_pRecorder->Append(line.Utf8());
    }
    m_pText->AppendEntry(std::move(lines), follow);
    if (ShowsDump())
        m_pDump->Refresh(follow);  // the find bar's count follows when the view has caught up
    else if (m_pText->Search().IsActive())
        ShowMatchCount();
}

void CMessageWnd::PlaceTextArea()
{
    if (!m_pText)
        return;
    const int bar = m_pFindBar && !m_pFindBar->isHidden() ? m_pFindBar->sizeHint().height() : 0;
    const QRect area(0, kButtonStrip, width(), std::max(0, height() - kButtonStrip - bar));
    m_pText->setGeometry(area);
    m_pText->setVisible(!ShowsDump());
    if (m_pDump) {
        m_pDump->setGeometry(area);
        m_pDump->setVisible(ShowsDump());
    }
    if (bar > 0)
        m_pFindBar->setGeometry(0, height() - bar, width(), bar);
}

void CMessageWnd::RequestClose()
{
    if (m_pView)
        PostMessage(m_pView, WM_CHILD_CLOSE, static_cast<WPARAM>(m_nKind), 0);
}

QString CMessageWnd::CurrentStamp()
{
    std::time_t now;
    int milliseconds = 0;
    m_stampClock = std::chrono::system_clock::now();
    if (m_bMilliseconds) {
        const auto since = m_stampClock.time_since_epoch();
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(since).count();
        now = static_cast<std::time_t>(ms / 1000);
        milliseconds = static_cast<int>(ms % 1000);
    } else {
        now = std::chrono::system_clock::to_time_t(m_stampClock);
    }
    if (now != m_stampTime) {
        m_stamp = TimeStamp(now);
        m_stampTime = now;
    }
    if (m_bMilliseconds && !m_stamp.isEmpty())
        return m_stamp.chopped(2) + QStringLiteral(".%1  ").arg(milliseconds, 3, 10, QChar(u'0'));
    return m_stamp;
}
