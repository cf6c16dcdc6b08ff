// The settings dialog of a serial line: device, baud, frame, flow control, control lines and where a
// received telegram ends. It edits the document's serial slots as texts and refuses what is no setting.
#pragma once

#include "net/cserialsettings.h"
#include "platform/ui/cqndialog.h"

#include <QStringList>

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
        IDC_RECONNECT = 1231,
    };

    explicit CSerialSettingDlg(QWidget *parent = nullptr);

    // The serial slots' texts, in order: shown when it opens, the edited ones after OK.
    QStringList m_texts;
    // "1" when the line is opened again by itself once its device comes back ("自動再接続"), else empty.
    QString m_strReconnect;

    // The devices the list offers: the system's serial ports with their description and serial
    // number where known, then the stable names under /dev/serial/by-id.
    static QList<QPair<QString, QString>> Devices();

protected:
    void DoDataExchange(bool save) override;
    void OnOK() override;

private:
    // The settings the controls show; false with the reason for a value that is none.
    bool Read(CSerialSettings *settings, QString *error) const;

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
    QCheckBox *m_pReconnect;
};
