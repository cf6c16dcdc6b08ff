#include "display/ui/cdumpview.h"

#include "display/cdumpformat.h"
#include "display/cvalueinspector.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTimer>

#include <algorithm>

namespace {

constexpr int kMargin = 2;
constexpr int kInspectorLines = 5;
const QColor kMatch(255, 224, 64);
const QColor kBad(255, 176, 176);
const QColor kCovered(224, 236, 255);
const QColor kGoodSum(176, 232, 176);

}  // namespace

CDumpView::CDumpView(const CLineStore &store, QWidget *parent)
    : QAbstractScrollArea(parent), m_model(store), m_pInspector(new QLabel(this))
{
    setFocusPolicy(Qt::StrongFocus);
    m_pInspector->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_pInspector->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_pInspector->setAutoFillBackground(true);
    m_pCopy = new QAction(QStringLiteral("ｺﾋﾟｰ(&C)"), this);
    m_pCopy->setShortcut(QKeySequence::Copy);
    m_pCopy->setShortcutContext(Qt::WidgetShortcut);
    connect(m_pCopy, &QAction::triggered, this, &CDumpView::Copy);
    m_pSelectAll = new QAction(QStringLiteral("すべて選択(&A)"), this);
    m_pSelectAll->setShortcut(QKeySequence::SelectAll);
    m_pSelectAll->setShortcutContext(Qt::WidgetShortcut);
    connect(m_pSelectAll, &QAction::triggered, this, &CDumpView::SelectAll);
    addAction(m_pCopy);
    addAction(m_pSelectAll);
    for (int f = 0; f < CByteForms::kForms; ++f) {
        auto *action = new QAction(CByteForms::Name(CByteForms::Form(f)), this);
        connect(action, &QAction::triggered, this, [this, f] { CopyAs(CByteForms::Form(f)); });
        m_copyActions.append(action);
    }
    UpdateFontMetrics();
    UpdateInspector();
}

CDumpModel &CDumpView::Model()
{
    CatchUp();
    return m_model;
}

void CDumpView::Refresh(bool follow)
{
    m_bFollow = m_bFollow || follow;
    if (m_bPending)
        return;
    m_bPending = true;
    // Once for all the entries of a turn of the event loop.
    QTimer::singleShot(0, this, [this] {
        m_bPending = false;
        if (!isVisible())
            return;
        const bool changed = CatchUp();
        if (changed || m_bFollow)
            viewport()->update();
        if (m_bFollow)
            verticalScrollBar()->setValue(verticalScrollBar()->maximum());
        m_bFollow = false;
        if (changed)
            Q_EMIT CaughtUp();
    });
}

bool CDumpView::CatchUp()
{
    if (!m_model.Sync())
        return false;
    UpdateScrollBars();
    UpdateInspector();
    return true;
}

void CDumpView::UpdateFontMetrics()
{
    const QFontMetricsF metrics(font());
    m_charWidth = std::max(1.0, metrics.horizontalAdvance(QLatin1Char('0')));
    m_lineHeight = std::max(1, int(std::ceil(metrics.height())));
    m_ascent = int(std::ceil(metrics.ascent()));
    m_pInspector->setFont(font());
    setViewportMargins(0, 0, 0, kInspectorLines * m_lineHeight + 2 * kMargin);
    UpdateScrollBars();
}

void CDumpView::UpdateScrollBars()
{
    const int visible = std::max(1, viewport()->height() / m_lineHeight);
    verticalScrollBar()->setPageStep(visible);
    verticalScrollBar()->setSingleStep(1);
    verticalScrollBar()->setRange(0, std::max(0, m_model.RowCount() - visible));
    // Headings run past the rows; room for 120 characters covers them.
    const int width = int(120 * m_charWidth) + 2 * kMargin;
    horizontalScrollBar()->setPageStep(viewport()->width());
    horizontalScrollBar()->setSingleStep(int(m_charWidth));
    horizontalScrollBar()->setRange(0, std::max(0, width - viewport()->width()));
    const QRect area = viewport()->geometry();
    // In the margin below the viewport, above the horizontal scroll bar.
    m_pInspector->setGeometry(area.left(), area.bottom() + 1, area.width(), kInspectorLines * m_lineHeight + 2 * kMargin);
}

int CDumpView::FirstRow() const
{
    return verticalScrollBar()->value();
}

void CDumpView::ScrollToRow(int row)
{
    const int visible = verticalScrollBar()->pageStep();
    if (row < FirstRow())
        verticalScrollBar()->setValue(row);
    else if (row >= FirstRow() + visible)
        verticalScrollBar()->setValue(row - visible + 1);
}

void CDumpView::SetPattern(const QByteArray &pattern)
{
    CatchUp();
    m_model.SetPattern(pattern);
    m_current = Place();
    UpdateScrollBars();
    viewport()->update();
}

void CDumpView::SetFilter(char direction, bool matchingOnly)
{
    CatchUp();
    m_model.SetFilter(direction, matchingOnly);
    UpdateScrollBars();
    viewport()->update();
}

void CDumpView::SetChecksumCheck(const CChecksumCheck *check)
{
    m_model.SetChecksumCheck(check);
    viewport()->update();
}

int CDumpView::ShownOf(qint64 serial) const
{
    int low = 0;
    int high = m_model.Count();
    while (low < high) {
        const int middle = (low + high) / 2;
        if (m_model.At(middle).serial < serial)
            low = middle + 1;
        else
            high = middle;
    }
    return low < m_model.Count() && m_model.At(low).serial == serial ? low : -1;
}

bool CDumpView::GoToMatch(bool forward)
{
    CatchUp();
    const int count = m_model.Count();
    if (m_model.MatchTotal() == 0 || count == 0)
        return false;
    // From the current match, or from the telegram at the top of the view.
    int shown = ShownOf(m_current.serial);
    qsizetype after = m_current.byte;
    if (shown < 0) {
        shown = std::max(0, m_model.RowAt(FirstRow()).telegram);
        after = forward ? -1 : m_model.At(shown).size;
    }
    // Step 0 looks past `after` in the first telegram; the last step comes back to it whole.
    for (int step = 0; step <= count; ++step) {
        const int t = forward ? (shown + step) % count : (shown - step % count + count) % count;
        const std::vector<qsizetype> matches = m_model.Matches(t);
        if (matches.empty())
            continue;
        qsizetype found = forward ? matches.front() : matches.back();
        if (step == 0) {
            if (forward) {
                const auto next = std::upper_bound(matches.begin(), matches.end(), after);
                if (next == matches.end())
                    continue;
                found = *next;
            } else {
                const auto next = std::lower_bound(matches.begin(), matches.end(), after);
                if (next == matches.begin())
                    continue;
                found = *(next - 1);
            }
        }
        m_current = {m_model.At(t).serial, found};
        SelectCurrent();
        return true;
    }
    return false;
}

void CDumpView::SelectCurrent()
{
    const int shown = ShownOf(m_current.serial);
    if (shown < 0)
        return;
    const qsizetype last = m_current.byte + m_model.Pattern().size() - 1;
    SetSelection(m_current, {m_current.serial, last});
    ScrollToRow(m_model.FirstRow(shown) + 1 + int(last / CDumpFormat::kRowBytes));
    ScrollToRow(m_model.FirstRow(shown) + 1 + int(m_current.byte / CDumpFormat::kRowBytes));
}

qint64 CDumpView::CurrentMatch()
{
    CatchUp();
    const int shown = ShownOf(m_current.serial);
    if (shown < 0 || m_model.MatchTotal() == 0)
        return 0;
    const std::vector<qsizetype> matches = m_model.Matches(shown);
    const auto at = std::lower_bound(matches.begin(), matches.end(), m_current.byte);
    if (at == matches.end() || *at != m_current.byte)
        return 0;
    return m_model.MatchesBefore(shown) + (at - matches.begin()) + 1;
}

int CDumpView::GoToBadTelegram(bool forward)
{
    CatchUp();
    int shown = ShownOf(m_cursor.serial);
    if (shown < 0)
        shown = forward ? -1 : m_model.Count();
    for (int t = shown + (forward ? 1 : -1); t >= 0 && t < m_model.Count(); t += forward ? 1 : -1) {
        if (m_model.Verdict(t) == CChecksumCheck::Bad) {
            SetSelection({m_model.At(t).serial, -1}, {m_model.At(t).serial, -1});
            ScrollToRow(m_model.FirstRow(t));
            return m_model.FirstRow(t);
        }
    }
    return -1;
}

void CDumpView::SetSelection(Place anchor, Place cursor)
{
    m_anchor = anchor;
    m_cursor = cursor;
    UpdateInspector();
    viewport()->update();
}

void CDumpView::SelectAll()
{
    CatchUp();
    if (m_model.Count() == 0)
        return;
    SetSelection({m_model.At(0).serial, -1}, {m_model.At(m_model.Count() - 1).serial, -1});
}

std::pair<qsizetype, qsizetype> CDumpView::SelectedRange(int shown) const
{
    const qint64 serial = m_model.At(shown).serial;
    const auto [from, to] = std::minmax(m_anchor.serial, m_cursor.serial);
    if (m_anchor.serial < 0 || serial < from || serial > to)
        return {0, 0};
    if (from == to && m_anchor.byte >= 0 && m_cursor.byte >= 0) {
        const auto [first, last] = std::minmax(m_anchor.byte, m_cursor.byte);
        return {first, last + 1};
    }
    return {-1, -1};
}

QByteArray CDumpView::SelectedBytes()
{
    CatchUp();
    const int shown = ShownOf(m_anchor.serial);
    if (shown < 0 || m_anchor.serial != m_cursor.serial)
        return QByteArray();
    const auto [from, to] = SelectedRange(shown);
    return from < 0 ? QByteArray() : m_model.BytesOf(shown, from, to - from);
}

QList<QByteArray> CDumpView::SelectedTelegrams()
{
    QList<QByteArray> telegrams;
    const QByteArray bytes = SelectedBytes();
    if (!bytes.isEmpty())
        return {bytes};
    for (int t = 0; t < m_model.Count() && HasSelection(); ++t) {
        if (SelectedRange(t).first < 0 && m_model.At(t).data)
            telegrams.append(m_model.BytesOf(t));
    }
    return telegrams;
}

QString CDumpView::SelectedText()
{
    const QByteArray bytes = SelectedBytes();
    if (!bytes.isEmpty())
        return CByteForms::Format(bytes, CByteForms::HexSpaced);
    QString text;
    for (int t = 0; t < m_model.Count() && HasSelection(); ++t) {
        if (SelectedRange(t).first >= 0)
            continue;
        for (int row = m_model.FirstRow(t); row < m_model.FirstRow(t) + m_model.RowsOf(t); ++row)
            text += m_model.RowText(row) + u'\n';
    }
    return text;
}

void CDumpView::Copy()
{
    const QString text = SelectedText();
    if (!text.isEmpty())
        QGuiApplication::clipboard()->setText(text);
}

void CDumpView::CopyAs(CByteForms::Form form)
{
    const QList<QByteArray> telegrams = SelectedTelegrams();
    if (!telegrams.isEmpty())
        QGuiApplication::clipboard()->setText(CByteForms::Format(telegrams, form));
}

QString CDumpView::InspectorText() const
{
    return m_pInspector->text();
}

void CDumpView::UpdateInspector()
{
    const int shown = m_anchor.serial == m_cursor.serial ? ShownOf(m_anchor.serial) : -1;
    const auto [from, to] = shown >= 0 ? SelectedRange(shown) : std::pair<qsizetype, qsizetype>{0, 0};
    if (from < 0 || to <= from) {
        m_pInspector->setText(QStringLiteral("ﾊﾞｲﾄを選ぶと値を表示します (%1 ﾊﾞｲﾄまで)").arg(CValueInspector::kMaxBytes));
        return;
    }
    if (to - from > CValueInspector::kMaxBytes) {
        m_pInspector->setText(QStringLiteral("%1 ﾊﾞｲﾄ選択 (値の表示は %2 ﾊﾞｲﾄまで)").arg(to - from).arg(CValueInspector::kMaxBytes));
        return;
    }
    m_pInspector->setText(CValueInspector::Text(m_model.BytesOf(shown, from, to - from)));
}

CDumpView::Place CDumpView::PlaceAt(QPoint point)
{
    CatchUp();
    const int row = std::clamp(FirstRow() + point.y() / m_lineHeight, 0, std::max(0, m_model.RowCount() - 1));
    const CDumpModel::Row at = m_model.RowAt(row);
    if (at.telegram < 0)
        return Place();
    Place place{m_model.At(at.telegram).serial, -1};
    if (at.kind != CDumpModel::Bytes)
        return place;
    const int column = int((point.x() + horizontalScrollBar()->value() - kMargin) / m_charWidth);
    const qsizetype inRow = std::min<qsizetype>(CDumpFormat::kRowBytes, m_model.At(at.telegram).size - at.offset);
    int byte = CDumpFormat::ByteAtColumn(column);
    if (byte < 0)  // the offset or a gap: the nearest byte of the row
        byte = column < CDumpFormat::HexColumn(0) ? 0 : column < CDumpFormat::kAsciiColumn - 1 ? 8 : int(inRow - 1);
    place.byte = at.offset + std::min<qsizetype>(byte, inRow - 1);
    return place;
}

void CDumpView::paintEvent(QPaintEvent * /*event*/)
{
    CatchUp();
    QPainter painter(viewport());
    painter.fillRect(viewport()->rect(), palette().brush(QPalette::Base));
    painter.setFont(font());
    const int left = horizontalScrollBar()->value();
    const int first = FirstRow();
    const int end = std::min(m_model.RowCount(), first + viewport()->height() / m_lineHeight + 2);
    for (int row = first, y = 0; row < end; ++row, y += m_lineHeight)
        DrawRow(painter, row, y, left);
}

void CDumpView::Tint(QPainter &painter, const CDumpModel::Row &row, qsizetype from, qsizetype to, int y, int left,
                     const QBrush &brush)
{
    from = std::max(from, row.offset);
    to = std::min(to, row.offset + CDumpFormat::kRowBytes);
    if (to <= from)
        return;
    const int a = int(from - row.offset);
    const int b = int(to - row.offset);
    const double x0 = kMargin - left + CDumpFormat::HexColumn(a) * m_charWidth;
    const double x1 = kMargin - left + (CDumpFormat::HexColumn(b - 1) + 2) * m_charWidth;
    painter.fillRect(QRectF(x0, y, x1 - x0, m_lineHeight), brush);
    const double a0 = kMargin - left + CDumpFormat::AsciiColumn(a) * m_charWidth;
    painter.fillRect(QRectF(a0, y, (b - a) * m_charWidth, m_lineHeight), brush);
}

void CDumpView::DrawRow(QPainter &painter, int row, int y, int left)
{
    const CDumpModel::Row at = m_model.RowAt(row);
    const CDumpModel::Telegram &telegram = m_model.At(at.telegram);
    const auto [from, to] = SelectedRange(at.telegram);
    const bool whole = from < 0;
    if (whole) {
        painter.fillRect(QRect(0, y, viewport()->width(), m_lineHeight), palette().brush(QPalette::Highlight));
    } else if (at.kind == CDumpModel::Heading) {
        if (m_model.Verdict(at.telegram) == CChecksumCheck::Bad)
            painter.fillRect(QRect(0, y, viewport()->width(), m_lineHeight), kBad);
    } else if (at.kind == CDumpModel::Bytes) {
        if (m_model.Verdict(at.telegram) != CChecksumCheck::NotJudged) {
            const CChecksumCheck::Field field = m_model.FieldOf(at.telegram);
            const bool bad = m_model.Verdict(at.telegram) == CChecksumCheck::Bad;
            Tint(painter, at, field.coveredBegin, field.coveredEnd, y, left, kCovered);
            Tint(painter, at, field.sumBegin, field.sumEnd, y, left, bad ? kBad : kGoodSum);
        }
        if (telegram.matches > 0) {
            const qsizetype length = m_model.Pattern().size();
            for (const qsizetype match : m_model.Matches(at.telegram)) {
                if (match >= at.offset + CDumpFormat::kRowBytes)
                    break;
                Tint(painter, at, match, match + length, y, left, kMatch);
            }
        }
        Tint(painter, at, from, to, y, left, palette().brush(QPalette::Highlight));
    }
    painter.setPen(palette().color(whole ? QPalette::HighlightedText : QPalette::Text));
    painter.drawText(QPointF(kMargin - left, y + m_ascent), m_model.RowText(row));
}

void CDumpView::resizeEvent(QResizeEvent *event)
{
    QAbstractScrollArea::resizeEvent(event);
    UpdateScrollBars();
}

void CDumpView::showEvent(QShowEvent *event)
{
    QAbstractScrollArea::showEvent(event);
    CatchUp();
    UpdateScrollBars();
}

void CDumpView::changeEvent(QEvent *event)
{
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        UpdateFontMetrics();
}

void CDumpView::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const Place place = PlaceAt(event->position().toPoint());
    if (event->modifiers() & Qt::ShiftModifier && HasSelection())
        SetSelection(m_anchor, place);
    else
        SetSelection(place, place);
}

void CDumpView::mouseMoveEvent(QMouseEvent *event)
{
    if (!(event->buttons() & Qt::LeftButton) || !HasSelection())
        return;
    const QPoint point = event->position().toPoint();
    if (point.y() < 0)
        verticalScrollBar()->setValue(FirstRow() - 1);
    else if (point.y() >= viewport()->height())
        verticalScrollBar()->setValue(FirstRow() + 1);
    const Place place = PlaceAt(point);
    if (place != m_cursor)
        SetSelection(m_anchor, place);
}

void CDumpView::keyPressEvent(QKeyEvent *event)
{
    QScrollBar *bar = verticalScrollBar();
    switch (event->key()) {
    case Qt::Key_Up:
        bar->triggerAction(QAbstractSlider::SliderSingleStepSub);
        break;
    case Qt::Key_Down:
        bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
        break;
    case Qt::Key_PageUp:
        bar->triggerAction(QAbstractSlider::SliderPageStepSub);
        break;
    case Qt::Key_PageDown:
        bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
        break;
    case Qt::Key_Home:
        bar->setValue(0);
        break;
    case Qt::Key_End:
        bar->setValue(bar->maximum());
        break;
    default:
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
    event->accept();
}

void CDumpView::contextMenuEvent(QContextMenuEvent *event)
{
    QMenu menu(this);
    menu.addAction(m_pCopy);
    QMenu *forms = menu.addMenu(QStringLiteral("形式を選んでｺﾋﾟｰ"));
    forms->addActions(m_copyActions);
    menu.addAction(m_pSelectAll);
    const bool selected = HasSelection();
    m_pCopy->setEnabled(selected);
    forms->setEnabled(selected);
    if (!m_menuActions.isEmpty()) {
        menu.addSeparator();
        menu.addActions(m_menuActions);
    }
    menu.exec(event->globalPos());
}
