// The About box: the program's icon, name and version.
#pragma once

#include "platform/ui/cqndialog.h"

class CAboutDlg : public CQnDialog
{
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget *parent = nullptr);
};
