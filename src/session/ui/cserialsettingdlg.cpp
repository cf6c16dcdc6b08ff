#include "session/ui/cserialsettingdlg.h"

#include "platform/prompts.h"
#include "platform/qnwin.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSerialPortInfo>

namespace {

const int kBauds[] = {300, 600, 1200, 2400, 4800, 9600, 14400, 19200, 38400, 57600, 115200, 230400,
                      460800, 921600, 1000000, 1500000, 2000000, 3000000, 4000000};
// Parity letters in the order of the list.
const char kParities[] = {'N', 'O', 'E', 'M', 'S'};

}  // namespace

CSerialSettingDlg::CSerialSettingDlg(QWidget *parent) : CQnDialog(QStringLiteral("ｼﾘｱﾙ設定"), 200, 166, parent)
{
    const auto label = [this](const QString &text, int y) {
        AddItem(-1, new QLabel(text), 7, y, 60, 12)->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    };
    label(QStringLiteral("ﾃﾞﾊﾞｲｽ"), 7);
    m_pDevice = AddItem(IDC_DEVICE, new QComboBox, 70, 7, 123, 12);
    m_pDevice->setEditable(true);
    for (const auto &[path, description] : Devices())
        m_pDevice->addItem(description.isEmpty() ? path : path + QStringLiteral("  (") + description + QLatin1Char(')'), path);
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
    m_pReconnect = AddItem(IDC_RECONNECT, new QCheckBox(QStringLiteral("自動再接続")), 7, 149, 75, 12);
    m_pReconnect->setToolTip(QStringLiteral("ﾃﾞﾊﾞｲｽが外れたとき、戻るのを1秒ごとに確かめて開き直します"));
    AddButton(IDOK, QStringLiteral("OK"), 88, 148, 50, 14, true);
    AddButton(IDCANCEL, QStringLiteral("ｷｬﾝｾﾙ"), 143, 148, 50, 14, false);
}

QList<QPair<QString, QString>> CSerialSettingDlg::Devices()
{
    QList<QPair<QString, QString>> devices;
    for (const QSerialPortInfo &port : QSerialPortInfo::availablePorts()) {
        QString about = port.description();
        if (!port.serialNumber().isEmpty())
            about += (about.isEmpty() ? QString() : QStringLiteral(" ")) + QStringLiteral("S/N ") + port.serialNumber();
        devices.append({port.systemLocation(), about});
    }
    // The by-id names stay the same when an adapter moves to another port or is plugged in later.
    const QDir byId(QStringLiteral("/dev/serial/by-id"));
    for (const QFileInfo &link : byId.entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot))
        devices.append({link.absoluteFilePath(), link.symLinkTarget()});
    return devices;
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
                                 end, CSerialSettings::LinesText(m_pDtr->isChecked(), m_pRts->isChecked())},
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
