#include "session/ui/cserialsettingdlg.h"

#include "platform/prompts.h"
#include "platform/qnwin.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QAbstractItemView>
#include <QPushButton>
#include <QRadioButton>

namespace {

const int kBauds[] = {300, 600, 1200, 2400, 4800, 9600, 14400, 19200, 38400, 57600, 115200, 230400,
                      460800, 921600, 1000000, 1500000, 2000000, 3000000, 4000000};
// Parity letters in the order of the list.
const char kParities[] = {'N', 'O', 'E', 'M', 'S'};

}  // namespace

CSerialSettingDlg::CSerialSettingDlg(QWidget *parent) : CQnDialog(QStringLiteral("ｼﾘｱﾙ設定"), 200, 214, parent)
{
    const auto label = [this](const QString &text, int y) {
        AddItem(-1, new QLabel(text), 7, y, 60, 12)->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    };
    label(QStringLiteral("ﾃﾞﾊﾞｲｽ"), 7);
    m_pDevice = AddItem(IDC_DEVICE, new QComboBox, 70, 7, 90, 12);
    m_pDevice->setEditable(true);
    m_pDevice->setInsertPolicy(QComboBox::NoInsert);
    m_pDevice->view()->setTextElideMode(Qt::ElideNone);
    m_pDevice->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    connect(AddButton(IDC_RESCAN, QStringLiteral("再検索"), 163, 7, 30, 12, false), &QPushButton::clicked, this, &CSerialSettingDlg::Rescan);
    Rescan();
    // The list follows adapters plugged in and pulled out while the dialog is open.
    m_rescanTimer.setInterval(kRescanMs);
    connect(&m_rescanTimer, &QTimer::timeout, this, [this] {
        if (!m_pDevice->view()->isVisible())  // an open list is not changed under the pointer
            Rescan();
    });
    m_rescanTimer.start();
    label(QStringLiteral("ﾎﾞｰﾚｰﾄ"), 23);
    m_pBaud = AddItem(IDC_BAUD, new QComboBox, 70, 23, 60, 12);
    m_pBaud->setEditable(true);
    for (const int baud : kBauds)
        m_pBaud->addItem(QString::number(baud));
    label(QStringLiteral("ﾃﾞｰﾀﾋﾞｯﾄ"), 39);
    m_pDataBits = AddItem(IDC_DATA_BITS, new QComboBox, 70, 39, 60, 12);
    m_pDataBits->addItems({QStringLiteral("5"), QStringLiteral("6"), QStringLiteral("7"), QStringLiteral("8")});
    label(QStringLiteral("ﾊﾟﾘﾃｨ"), 55);
    m_pParity = AddItem(IDC_PARITY, new QComboBox, 70, 55, 60, 12);
    m_pParity->addItems({QStringLiteral("なし"), QStringLiteral("奇数"), QStringLiteral("偶数"), QStringLiteral("ﾏｰｸ"), QStringLiteral("ｽﾍﾟｰｽ")});
    label(QStringLiteral("ｽﾄｯﾌﾟﾋﾞｯﾄ"), 71);
    m_pStopBits = AddItem(IDC_STOP_BITS, new QComboBox, 70, 71, 60, 12);
    m_pStopBits->addItems({QStringLiteral("1"), QStringLiteral("1.5"), QStringLiteral("2")});
    label(QStringLiteral("ﾌﾛｰ制御"), 87);
    m_pFlow = AddItem(IDC_FLOW, new QComboBox, 70, 87, 60, 12);
    m_pFlow->addItems({QStringLiteral("なし"), QStringLiteral("RTS/CTS"), QStringLiteral("XON/XOFF")});
    m_pDtr = AddItem(IDC_DTR, new QCheckBox(QStringLiteral("DTR をｵﾝ")), 137, 39, 56, 12);
    m_pRts = AddItem(IDC_RTS, new QCheckBox(QStringLiteral("RTS をｵﾝ")), 137, 55, 56, 12);
    label(QStringLiteral("電文の区切り"), 103);
    auto *group = new QButtonGroup(this);
    m_pEachRead = AddItem(IDC_END_EACH_READ, new QRadioButton(QStringLiteral("受信ごと")), 70, 103, 60, 12);
    m_pGap = AddItem(IDC_END_GAP, new QRadioButton(QStringLiteral("間隔 (ms)")), 70, 117, 60, 12);
    m_pEndByte = AddItem(IDC_END_BYTE, new QRadioButton(QStringLiteral("終端ﾊﾞｲﾄ (16進)")), 70, 131, 70, 12);
    for (QRadioButton *button : {m_pEachRead, m_pGap, m_pEndByte})
        group->addButton(button);
    m_pGapMs = AddItem(IDC_GAP_MS, new QLineEdit, 143, 117, 50, 12);
    m_pEndByteHex = AddItem(IDC_END_BYTE_HEX, new QLineEdit, 143, 131, 50, 12);
    m_pEndByteHex->setMaxLength(2);
    m_pRs485 = AddItem(IDC_RS485, new QCheckBox(QStringLiteral("RS-485")), 7, 147, 60, 12);
    m_pRs485Rts = AddItem(IDC_RS485_RTS, new QComboBox, 70, 147, 123, 12);
    m_pRs485Rts->addItems({QStringLiteral("送信中に RTS をｵﾝ"), QStringLiteral("送信後に RTS をｵﾝ")});
    label(QStringLiteral("送信前 (ms)"), 163);
    m_pRs485Before = AddItem(IDC_RS485_BEFORE, new QLineEdit, 70, 163, 30, 12);
    AddItem(-1, new QLabel(QStringLiteral("送信後 (ms)")), 110, 163, 40, 12);
    m_pRs485After = AddItem(IDC_RS485_AFTER, new QLineEdit, 153, 163, 40, 12);
    label(QStringLiteral("ﾌﾞﾚｰｸ (ms)"), 179);
    m_pBreakMs = AddItem(IDC_BREAK_MS, new QLineEdit, 70, 179, 60, 12);
    const auto rs485 = [this] {
        for (QWidget *field : std::initializer_list<QWidget *>{m_pRs485Rts, m_pRs485Before, m_pRs485After})
            field->setEnabled(m_pRs485->isChecked());
    };
    connect(m_pRs485, &QCheckBox::toggled, this, rs485);
    rs485();
    m_pReconnect = AddItem(IDC_RECONNECT, new QCheckBox(QStringLiteral("自動再接続")), 7, 197, 75, 12);
    m_pReconnect->setToolTip(QStringLiteral("ﾃﾞﾊﾞｲｽが外れたとき、戻るのを1秒ごとに確かめて開き直します"));
    AddButton(IDOK, QStringLiteral("OK"), 88, 196, 50, 14, true);
    AddButton(IDCANCEL, QStringLiteral("ｷｬﾝｾﾙ"), 143, 196, 50, 14, false);
}

void CSerialSettingDlg::SetDeviceRoot(const QString &root)
{
    m_strDeviceRoot = root;
    Rescan();
}

void CSerialSettingDlg::Rescan()
{
    const QList<CSerialDevices::Device> devices = CSerialDevices::Scan(m_strDeviceRoot);
    if (devices == m_devices && m_pDevice->count() == devices.size())
        return;
    // The device typed or chosen, as a path; it stays whether or not it is in the new list.
    const QString text = m_pDevice->currentText();
    const int index = m_pDevice->findText(text);
    const QString path = index >= 0 && !m_pDevice->itemData(index).toString().isEmpty() ? m_pDevice->itemData(index).toString() : text;
    m_devices = devices;
    const QSignalBlocker quiet(m_pDevice);
    m_pDevice->clear();
    for (const CSerialDevices::Device &device : devices)
        m_pDevice->addItem(CSerialDevices::Label(device), device.path);
    const int found = m_pDevice->findData(path);
    if (found >= 0)
        m_pDevice->setCurrentIndex(found);
    else
        m_pDevice->setEditText(path);
}

void CSerialSettingDlg::DoDataExchange(bool save)
{
    if (save)
        return;  // OnOK reads the controls once they hold settings
    m_pReconnect->setChecked(m_strReconnect.trimmed() == QLatin1String("1"));
    CSerialSettings settings;
    QString error;
    // Texts that are no settings (written by hand into a file) show the defaults for those fields.
    if (!CSerialSettings::Parse(m_texts, &settings, &error))
        CSerialSettings::Parse({m_texts.value(0)}, &settings, &error);
    const int device = m_pDevice->findData(settings.device);
    if (device >= 0)
        m_pDevice->setCurrentIndex(device);
    else
        m_pDevice->setEditText(settings.device);
    m_pBaud->setEditText(QString::number(settings.baud));
    m_pDataBits->setCurrentIndex(settings.dataBits - 5);
    m_pParity->setCurrentIndex(int(std::find(std::begin(kParities), std::end(kParities), settings.parity) - std::begin(kParities)));
    m_pStopBits->setCurrentIndex(settings.stopHalves - 2);
    m_pFlow->setCurrentIndex(settings.flow);
    m_pDtr->setChecked(settings.dtr);
    m_pRts->setChecked(settings.rts);
    m_pEachRead->setChecked(settings.end == CSerialSettings::END_EACH_READ);
    m_pGap->setChecked(settings.end == CSerialSettings::END_GAP);
    m_pEndByte->setChecked(settings.end == CSerialSettings::END_BYTE);
    m_pGapMs->setText(settings.end == CSerialSettings::END_GAP ? QString::number(settings.gapMs) : QStringLiteral("5"));
    m_pEndByteHex->setText(settings.end == CSerialSettings::END_BYTE ? QStringLiteral("%1").arg(settings.endByte, 2, 16, QLatin1Char('0')).toUpper()
                                                                     : QStringLiteral("0D"));
    m_pRs485->setChecked(settings.rs485.enabled);
    m_pRs485Rts->setCurrentIndex(settings.rs485.rtsOnSend ? 0 : 1);
    m_pRs485Before->setText(QString::number(settings.rs485.delayBeforeMs));
    m_pRs485After->setText(QString::number(settings.rs485.delayAfterMs));
    m_pBreakMs->setText(QString::number(settings.breakMs));
}

QString CSerialSettingDlg::Options() const
{
    QStringList words;
    if (m_pRs485->isChecked()) {
        words << (m_pRs485Rts->currentIndex() == 0 ? QStringLiteral("rs485:send") : QStringLiteral("rs485:after"));
        for (const auto &[key, field] : {std::pair{"before:", m_pRs485Before}, std::pair{"after:", m_pRs485After}}) {
            if (!field->text().trimmed().isEmpty())
                words << QLatin1String(key) + field->text().trimmed();
        }
    }
    if (!m_pBreakMs->text().trimmed().isEmpty())
        words << QStringLiteral("break:") + m_pBreakMs->text().trimmed();
    return words.join(QLatin1Char(' '));
}

bool CSerialSettingDlg::Read(CSerialSettings *settings, QString *error) const
{
    // The device as typed, or the path behind the entry chosen from the list. A typed path that Enter
    // has put into the list carries no path of its own: it is its text (a device plugged in later).
    QString device = m_pDevice->currentText().trimmed();
    const int index = m_pDevice->findText(m_pDevice->currentText());
    if (index >= 0 && !m_pDevice->itemData(index).toString().isEmpty())
        device = m_pDevice->itemData(index).toString();
    const QString frame = QString::number(m_pDataBits->currentIndex() + 5) + QLatin1Char(kParities[m_pParity->currentIndex()]) +
                          m_pStopBits->currentText();
    const auto end = m_pGap->isChecked()     ? CSerialSettings::EndText(CSerialSettings::END_GAP, m_pGapMs->text().trimmed())
                     : m_pEndByte->isChecked() ? CSerialSettings::EndText(CSerialSettings::END_BYTE, m_pEndByteHex->text().trimmed())
                                               : QString();
    if (!CSerialSettings::Parse({device, m_pBaud->currentText().trimmed(), frame, CSerialSettings::FlowText(CSerialSettings::Flow(m_pFlow->currentIndex())),
                                 end, CSerialSettings::LinesText(m_pDtr->isChecked(), m_pRts->isChecked()), Options()},
                                settings, error))
        return false;
    if (device.isEmpty()) {
        *error = QStringLiteral("ﾃﾞﾊﾞｲｽを選ぶか入力してください");
        return false;
    }
    return true;
}

void CSerialSettingDlg::OnOK()
{
    CSerialSettings settings;
    QString error;
    if (!Read(&settings, &error)) {
        Prompts::Instance().MessageBox(this, error + QStringLiteral("。"), Prompts::AppTitle(), Prompts::Ok, Prompts::Exclamation);
        return;
    }
    m_texts = settings.Texts();
    m_strReconnect = m_pReconnect->isChecked() ? QStringLiteral("1") : QString();
    CQnDialog::OnOK();
}
