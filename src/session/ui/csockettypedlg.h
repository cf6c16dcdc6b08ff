// The socket type dialog: a radio button for each connection type (CConnectionPage), each with its mnemonic.
#pragma once

#include "platform/ui/cqndialog.h"

class QButtonGroup;

class CSocketTypeDlg : public CQnDialog
{
    Q_OBJECT
public:
    explicit CSocketTypeDlg(QWidget *parent = nullptr);

    int m_nType = 0;  // ConnectionType

protected:
    void DoDataExchange(bool save) override;
    void OnInitDialog() override;

private:
    QButtonGroup *m_pGroup;
};
