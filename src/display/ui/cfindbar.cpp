#include "display/ui/cfindbar.h"

#include "display/clinestore.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QToolButton>

namespace {

// Red text in a control, or the bar's own colour again.
void SetRed(QWidget *control, QPalette::ColorRole role, bool red)
{
    QPalette palette = control->palette();
    palette.setColor(role, red ? QColor(Qt::red) : control->parentWidget()->palette().color(role));
    control->setPalette(palette);
}

}  // namespace

CFindBar::CFindBar(bool directions, QWidget *parent)
    : QWidget(parent),
      m_pEdit(new QLineEdit(this)),
      m_pMode(new QComboBox(this)),
      m_pPrevious(new QToolButton(this)),
      m_pNext(new QToolButton(this)),
      m_pCount(new QLabel(this)),
      m_pMatchingOnly(new QCheckBox(QStringLiteral("一致する行のみ表示"), this)),
      m_pClose(new QToolButton(this))
{
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->setSpacing(4);
    layout->addWidget(new QLabel(QStringLiteral("検索:"), this));
    m_pEdit->setClearButtonEnabled(true);
    m_pEdit->setMaxLength(kMaxPattern);
    layout->addWidget(m_pEdit, 1);
    m_pMode->addItem(QStringLiteral("ﾃｷｽﾄ"));
    m_pMode->addItem(QStringLiteral("16進ﾊﾞｲﾄ"));
    layout->addWidget(m_pMode);
    m_pPrevious->setText(QStringLiteral("▲"));
    m_pPrevious->setToolTip(QStringLiteral("前を検索 (Shift+F3)"));
    m_pNext->setText(QStringLiteral("▼"));
    m_pNext->setToolTip(QStringLiteral("次を検索 (Enter, F3)"));
    layout->addWidget(m_pPrevious);
    layout->addWidget(m_pNext);
    m_pCount->setMinimumWidth(m_pCount->fontMetrics().horizontalAdvance(QStringLiteral("0000000 / 0000000")));
    layout->addWidget(m_pCount);
    layout->addWidget(m_pMatchingOnly);
    if (directions) {
        m_pDirection = new QComboBox(this);
        m_pDirection->addItem(QStringLiteral("すべて"));
        m_pDirection->addItem(QStringLiteral("受信(R)"));
        m_pDirection->addItem(QStringLiteral("送信(S)"));
        layout->addWidget(m_pDirection);
        connect(m_pDirection, &QComboBox::currentIndexChanged, this, &CFindBar::FilterChanged);
    }
    m_pClose->setText(QStringLiteral("×"));
    m_pClose->setToolTip(QStringLiteral("閉じる (Esc)"));
    layout->addWidget(m_pClose);

    connect(m_pEdit, &QLineEdit::textChanged, this, &CFindBar::SearchChanged);
    connect(m_pMode, &QComboBox::currentIndexChanged, this, &CFindBar::SearchChanged);
    connect(m_pEdit, &QLineEdit::returnPressed, this, [this] {
        if (QGuiApplication::keyboardModifiers() & Qt::ShiftModifier)
            Q_EMIT PreviousRequested();
        else
            Q_EMIT NextRequested();
    });
    connect(m_pNext, &QToolButton::clicked, this, &CFindBar::NextRequested);
    connect(m_pPrevious, &QToolButton::clicked, this, &CFindBar::PreviousRequested);
    connect(m_pMatchingOnly, &QCheckBox::toggled, this, &CFindBar::FilterChanged);
    connect(m_pClose, &QToolButton::clicked, this, &CFindBar::CloseRequested);
    ShowCount(0, 0, true);
}

CLineSearch CFindBar::Search() const
{
    CLineSearch search;
    search.Set(m_pEdit->text(), m_pMode->currentIndex() == 1 ? CLineSearch::Hex : CLineSearch::Text);
    return search;
}

bool CFindBar::MatchingOnly() const
{
    return m_pMatchingOnly->isChecked();
}

char CFindBar::Direction() const
{
    const int index = m_pDirection ? m_pDirection->currentIndex() : 0;
    return index == 1 ? 'R' : index == 2 ? 'S' : index == 3 ? CLineStore::kMarks : 0;
}

void CFindBar::OfferMarks()
{
    if (m_pDirection && m_pDirection->count() == 3)
        m_pDirection->addItem(QStringLiteral("妨害ﾏｰｸ"));
}

void CFindBar::ShowCount(qint64 current, qint64 total, bool valid)
{
    ShowNote(QStringLiteral("%1 / %2").arg(current).arg(total), false);
    SetRed(m_pEdit, QPalette::Text, !valid);
}

void CFindBar::ShowNote(const QString &text, bool nothingFound)
{
    m_pCount->setText(text);
    SetRed(m_pCount, QPalette::WindowText, nothingFound);
}

QString CFindBar::CountText() const
{
    return m_pCount->text();
}

void CFindBar::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        Q_EMIT CloseRequested();
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}
