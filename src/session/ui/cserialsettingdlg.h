// The settings dialog of a serial line: device, baud, frame, flow control, control lines, where a
// received telegram ends, RS-485 and the break's length. It edits the document's serial slots as
// texts and refuses what is no setting. The device list follows the hardware while it is open.
#pragma once

#include "net/cserialdevices.h"
#include "net/cserialsettings.h"
#include "platform/ui/cqndialog.h"

#include <QStringList>
#include <QTimer>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QRadioButton;

class CSerialSettingDlg : public CQnDialog
{
    Q_OBJECT
public:
    // Control ids of the dialog.
    enum : int {
        IDC_DEVICE = 1201, IDC_BAUD, IDC_DATA_BITS, IDC_PARITY, IDC_STOP_BITS, IDC_FLOW, IDC_DTR, IDC_RTS,
        IDC_END_EACH_READ, IDC_END_GAP, IDC_END_BYTE, IDC_GAP_MS, IDC_END_BYTE_HEX,
        IDC_RESCAN, IDC_RS485, IDC_RS485_RTS, IDC_RS485_BEFORE, IDC_RS485_AFTER, IDC_BREAK_MS,
        IDC_RECONNECT = 1231,
    };
    // How often the device list is read again while the dialog is open.
    static constexpr int kRescanMs = 1000;

    explicit CSerialSettingDlg(QWidget *parent = nullptr);

    // The serial slots' texts, in order: shown when it opens, the edited ones after OK.
    QStringList m_texts;
    // "1" when the line is opened again by itself once its device comes back ("自動再接続"), else empty.
    QString m_strReconnect;

    // The folder the device list is read below ("/"; a test's tree).
    void SetDeviceRoot(const QString &root);
    // Reads the devices again and shows them; the device typed or chosen stays as it is.
    void Rescan();

protected:
    void DoDataExchange(bool save) override;
    void OnOK() override;

private:
    // The settings the controls show; false with the reason for a value that is none.
    bool Read(CSerialSettings *settings, QString *error) const;
    // The options slot's words as the RS-485 and break fields stand (checked by Read).
    QString Options() const;

    QComboBox *m_pDevice;
    QComboBox *m_pBaud;
    QComboBox *m_pDataBits;
    QComboBox *m_pParity;
    QComboBox *m_pStopBits;
    QComboBox *m_pFlow;
    QCheckBox *m_pDtr;
    QCheckBox *m_pRts;
    QRadioButton *m_pEachRead;
    QRadioButton *m_pGap;
    QRadioButton *m_pEndByte;
    QLineEdit *m_pGapMs;
    QLineEdit *m_pEndByteHex;
    QCheckBox *m_pRs485;
    QComboBox *m_pRs485Rts;
    QLineEdit *m_pRs485Before;
    QLineEdit *m_pRs485After;
    QLineEdit *m_pBreakMs;
    QString m_strDeviceRoot = QStringLiteral("/");
    QList<CSerialDevices::Device> m_devices;  // as the list shows them
    QTimer m_rescanTimer;
    QCheckBox *m_pReconnect;
};
