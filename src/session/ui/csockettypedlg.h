// The socket type dialog: UDP, TCP server, TCP client or serial, each with its mnemonic.
#pragma once

#include "platform/ui/cqndialog.h"

class QButtonGroup;

class CSocketTypeDlg : public CQnDialog
{
    Q_OBJECT
public:
    explicit CSocketTypeDlg(QWidget *parent = nullptr);

    int m_nType = 0;  // 0 UDP, 1 TCP server, 2 TCP client

protected:
    void DoDataExchange(bool save) override;
    void OnInitDialog() override;

private:
    QButtonGroup *m_pGroup;
};
