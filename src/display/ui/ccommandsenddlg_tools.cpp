// Command Send's tools under the input: the checksum row (with the client a server sends to), the
// repetition row and the sequence number row. Their choices live in m_tools while the window is closed.
#include "display/ui/ccommandsenddlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>

std::shared_ptr<const CChecksumRule> CCommandSendDlg::ChecksumRule(QString *error) const
{
    error->clear();
    if (!m_tools.checksumOn)
        return nullptr;
    return CChecksumRule::Parse(m_tools.checksumRule, error);
}

CRepeatSend::Sequence CCommandSendDlg::Sequence() const
{
    CRepeatSend::Sequence sequence;
    if (m_tools.sequenceOn) {
        sequence.offset = m_tools.sequenceOffset;
        sequence.bytes = m_tools.sequenceBytes;
        sequence.bigEndian = m_tools.sequenceBigEndian;
    }
    return sequence;
}

QWidget *CCommandSendDlg::Tagged(QWidget *control, int id)
{
    control->setProperty(kIdProperty, id);
    return control;
}

QWidget *CCommandSendDlg::AddToolRow(std::initializer_list<QWidget *> controls)
{
    auto *line = new QWidget(this);
    auto *layout = new QHBoxLayout(line);
    layout->setContentsMargins(4, 0, 4, 0);
    for (QWidget *control : controls) {
        control->setParent(line);
        layout->addWidget(control);
    }
    layout->addStretch(1);
    const int top = height();
    line->setGeometry(0, top, width(), line->sizeHint().height());
    setFixedSize(width(), top + line->height() + 3);
    return line;
}

void CCommandSendDlg::RefreshByteLineSoon()
{
    if (!m_byteLineTimer.isActive())
        m_byteLineTimer.start();
}

void CCommandSendDlg::CreateSendTools()
{
    // Rows under the byte line; the window grows by them, every control above keeps its place.
    CreateChecksumRow();
    CreateRepeatRow();
    CreateSequenceRow();
    CreateLineEndRow();
    UpdateByteLine();
}

void CCommandSendDlg::CreateChecksumRow()
{
    auto *checksumOn = new QCheckBox(QStringLiteral("ﾁｪｯｸｻﾑ付加"));
    checksumOn->setChecked(m_tools.checksumOn);
    auto *checksumRule = new QComboBox;
    checksumRule->setEditable(true);
    checksumRule->setMinimumContentsLength(28);
    checksumRule->addItems(QStringList{QStringLiteral("CRC-16/MODBUS:le"), QStringLiteral("LRC/ASCII:from=1,before=0D0A")} +
                           CChecksum::Names());
    checksumRule->setToolTip(QStringLiteral("名前[:from=n,end=m,before=16進,le|be,ascii|bin]"));
    checksumRule->setCurrentText(m_tools.checksumRule);
    checksumRule->setAccessibleName(QStringLiteral("ﾁｪｯｸｻﾑ"));
    auto *peer = new QComboBox;
    peer->setAccessibleName(QStringLiteral("送信先"));
    peer->setToolTip(QStringLiteral("送信先のｸﾗｲｱﾝﾄ"));
    peer->setMinimumContentsLength(8);
    auto *peerList = new QPushButton(QStringLiteral("一覧..."));
    peerList->setToolTip(QStringLiteral("ｸﾗｲｱﾝﾄ一覧 (検索、切断)"));
    AddToolRow({Tagged(checksumOn, IDC_CHECKSUM_ON), Tagged(checksumRule, IDC_CHECKSUM_RULE), Tagged(peer, IDC_PEER),
                Tagged(peerList, IDC_PEER_LIST)});
    peer->hide();  // until a server serves many clients
    peerList->hide();
    connect(peerList, &QPushButton::clicked, this, &CCommandSendDlg::ClientListAsked);
    connect(peer, &QComboBox::activated, this, [this, peer](int index) { m_nPeerTarget = peer->itemData(index).toInt(); });

    // The choices are kept as they change; each one brings the byte line up to date.
    connect(checksumOn, &QCheckBox::toggled, this, [this](bool on) {
        m_tools.checksumOn = on;
        RefreshByteLineSoon();
    });
    connect(checksumRule, &QComboBox::currentTextChanged, this, [this](const QString &rule) {
        m_tools.checksumRule = rule;
        RefreshByteLineSoon();
    });
}

void CCommandSendDlg::CreateRepeatRow()
{
    auto *repeatOn = new QCheckBox(QStringLiteral("繰り返し送信"));
    repeatOn->setChecked(m_tools.repeatOn);
    auto *interval = new QSpinBox;
    interval->setRange(CRepeatSend::kMinIntervalMs, 86400000);
    interval->setValue(m_tools.intervalMs);
    interval->setPrefix(QStringLiteral("間隔 "));
    interval->setSuffix(QStringLiteral(" ms"));
    auto *count = new QSpinBox;
    count->setRange(0, 100000000);
    count->setValue(m_tools.count);
    count->setPrefix(QStringLiteral("回数 "));
    count->setSpecialValueText(QStringLiteral("停止まで"));
    auto *counter = new QLabel;
    counter->setAccessibleName(QStringLiteral("送信回数"));
    AddToolRow({Tagged(repeatOn, IDC_REPEAT_ON), Tagged(interval, IDC_REPEAT_INTERVAL), Tagged(count, IDC_REPEAT_COUNT),
                Tagged(counter, IDC_REPEAT_COUNTER)});

    connect(repeatOn, &QCheckBox::toggled, this, [this](bool on) {
        m_tools.repeatOn = on;
        RefreshByteLineSoon();
    });
    connect(interval, &QSpinBox::valueChanged, this, [this](int ms) {
        m_tools.intervalMs = ms;
        RefreshByteLineSoon();
    });
    connect(count, &QSpinBox::valueChanged, this, [this](int times) {
        m_tools.count = times;
        RefreshByteLineSoon();
    });
}

void CCommandSendDlg::CreateSequenceRow()
{
    auto *sequenceOn = new QCheckBox(QStringLiteral("連番"));
    sequenceOn->setChecked(m_tools.sequenceOn);
    auto *offset = new QSpinBox;
    offset->setRange(0, QN_BUFFER_SIZE - 1);
    offset->setValue(m_tools.sequenceOffset);
    offset->setPrefix(QStringLiteral("ｵﾌｾｯﾄ "));
    auto *bytes = new QComboBox;
    bytes->addItems({QStringLiteral("1 ﾊﾞｲﾄ"), QStringLiteral("2 ﾊﾞｲﾄ"), QStringLiteral("4 ﾊﾞｲﾄ")});
    bytes->setCurrentIndex(m_tools.sequenceBytes == 4 ? 2 : m_tools.sequenceBytes - 1);
    auto *order = new QComboBox;
    order->addItems({QStringLiteral("ﾋﾞｯｸﾞｴﾝﾃﾞｨｱﾝ"), QStringLiteral("ﾘﾄﾙｴﾝﾃﾞｨｱﾝ")});
    order->setCurrentIndex(m_tools.sequenceBigEndian ? 0 : 1);
    AddToolRow({Tagged(sequenceOn, IDC_SEQUENCE_ON), Tagged(offset, IDC_SEQUENCE_OFFSET), Tagged(bytes, IDC_SEQUENCE_BYTES),
                Tagged(order, IDC_SEQUENCE_ORDER)});
    sequenceOn->setToolTip(QStringLiteral("繰り返し送信の度に、入力した値から 1 ずつ増やします"));

    connect(sequenceOn, &QCheckBox::toggled, this, [this](bool on) {
        m_tools.sequenceOn = on;
        RefreshByteLineSoon();
    });
    connect(offset, &QSpinBox::valueChanged, this, [this](int at) {
        m_tools.sequenceOffset = at;
        RefreshByteLineSoon();
    });
    connect(bytes, &QComboBox::currentIndexChanged, this, [this](int index) {
        m_tools.sequenceBytes = index == 2 ? 4 : index + 1;
        RefreshByteLineSoon();
    });
    connect(order, &QComboBox::currentIndexChanged, this, [this](int index) {
        m_tools.sequenceBigEndian = index == 0;
        RefreshByteLineSoon();
    });
}

void CCommandSendDlg::CreateLineEndRow()
{
    auto *label = new QLabel(QStringLiteral("行末"));
    auto *lineEnd = new QComboBox;
    lineEnd->addItems({QStringLiteral("なし"), QStringLiteral("CR"), QStringLiteral("LF"), QStringLiteral("CR LF")});
    lineEnd->setCurrentIndex(m_tools.lineEnd);
    lineEnd->setAccessibleName(QStringLiteral("行末"));
    lineEnd->setToolTip(QStringLiteral("ﾃｷｽﾄで送信するとき、電文の後に付けます (16進の電文はそのまま)"));
    label->setBuddy(lineEnd);
    AddToolRow({label, Tagged(lineEnd, IDC_LINE_END)});
    connect(lineEnd, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index < 0 || CLineEnd::Kind(index) == m_tools.lineEnd)
            return;
        m_tools.lineEnd = CLineEnd::Kind(index);
        RefreshByteLineSoon();
        Q_EMIT LineEndChanged(m_tools.lineEnd);
    });
}

void CCommandSendDlg::SetLineEnd(CLineEnd::Kind kind)
{
    m_tools.lineEnd = kind;
    if (auto *lineEnd = qobject_cast<QComboBox *>(GetDlgItem(IDC_LINE_END)))
        lineEnd->setCurrentIndex(kind);
    RefreshByteLineSoon();
}

QByteArray CCommandSendDlg::WithLineEnd(QByteArray telegram) const
{
    const QByteArray end = CLineEnd::Bytes(m_tools.lineEnd);
    // The line end whole, or none: the typed text gives way at the end of a full buffer.
    if (end.isEmpty())
        return telegram;
    if (telegram.size() + end.size() > QN_BUFFER_SIZE)
        telegram.truncate(QN_BUFFER_SIZE - end.size());
    return telegram + end;
}
