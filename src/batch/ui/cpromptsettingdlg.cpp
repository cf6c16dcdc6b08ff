#include "batch/ui/cpromptsettingdlg.h"

#include "batch/cregkey.h"
#include "batch/ui/cvsflexgrid.h"
#include "batch/ui/gridediting.h"
#include "batch/promptjudge.h"
#include "platform/ui/dialogunits.h"
#include "platform/ui/screenfit.h"
#include "platform/ui/uifonts.h"

#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>

CPromptSettingDlg::CPromptSettingDlg(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
{
    const QFont dialogFont = DialogFont(QString::fromUtf8(kFaceMsPGothic), 9);
    setFont(dialogFont);
    setWindowTitle(QStringLiteral("ﾌﾟﾛﾝﾌﾟﾄ判定設定"));
    setFixedSize(DluToPixels(dialogFont, 181, 202));

    auto *label = new QLabel(QStringLiteral("指定した文字列の応答があった場合に次ｺﾏﾝﾄﾞを送信します"), this);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setGeometry(DluToPixels(dialogFont, 7, 7, 104, 26));

    m_pGrid = new CvsFlexGrid(this);
    m_pGrid->setGeometry(DluToPixels(dialogFont, 7, 38, 78, 117));

    m_pOk = AddDialogButton(this, IDC_OK, QStringLiteral("OK"), 124, 13);
    m_pCancel = AddDialogButton(this, IDC_CANCEL, QStringLiteral("ｷｬﾝｾﾙ"), 124, 31);
    m_pDefaults = AddDialogButton(this, IDC_DEFAULTS, QStringLiteral("初期値にする"), 124, 56);
    connect(m_pOk, &QPushButton::clicked, this, &CPromptSettingDlg::OnOK);
    connect(m_pCancel, &QPushButton::clicked, this, &CPromptSettingDlg::OnCancel);
    connect(m_pDefaults, &QPushButton::clicked, this, &CPromptSettingDlg::OnDefaults);

    // A multi-line check box: the box itself and its wrapped text, which toggles it when clicked.
    const QRect boxArea = DluToPixels(dialogFont, 7, 173, 167, 22);
    m_pIgnore = new QCheckBox(this);
    m_pIgnore->setObjectName(QString::number(IDC_IGNORE));
    const QSize indicator = m_pIgnore->sizeHint();
    m_pIgnore->setGeometry(boxArea.x(), boxArea.y() + (boxArea.height() - indicator.height()) / 2,
                           indicator.width(), indicator.height());
    m_pIgnoreText = new QLabel(QStringLiteral("指定文字列は無視して応答を待たずに次ｺﾏﾝﾄﾞを送信する"), this);
    m_pIgnoreText->setWordWrap(true);
    m_pIgnoreText->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_pIgnoreText->setGeometry(boxArea.adjusted(indicator.width() + 2, 0, 0, 0));
    m_pIgnoreText->installEventFilter(this);

    SetUpGrid();
    LoadValues();
    m_pGrid->setFocus();
}

QWidget *CPromptSettingDlg::GetDlgItem(int id) const
{
    switch (id) {
    case IDC_GRID: return m_pGrid;
    case IDC_OK: return m_pOk;
    case IDC_CANCEL: return m_pCancel;
    case IDC_DEFAULTS: return m_pDefaults;
    case IDC_IGNORE: return m_pIgnore;
    default: return nullptr;
    }
}

void CPromptSettingDlg::SetUpGrid()
{
    m_pGrid->setObjectName(QString::number(IDC_GRID));
    m_pGrid->SetFontName(QString::fromUtf8(kFaceMsGothic));
    m_pGrid->SetColCount(1);
    m_pGrid->SetRowCount(1 + kPromptCount);
    m_pGrid->SetHeaderLayout(QStringLiteral("ﾌﾟﾛﾝﾌﾟﾄ判定文字列"));
    m_pGrid->SetEditAllowed(TRUE);
    m_pGrid->SetFixedColCount(0);
    m_pGrid->SetFixedRowCount(1);
    m_pGrid->SetBackColor(0xFFFFFF);
    connect(m_pGrid, &CvsFlexGrid::KeyDown, this, &CPromptSettingDlg::OnGridKeyDown);
}

void CPromptSettingDlg::LoadValues()
{
    const CRegKey store(QString::fromUtf8(kPromptKey));
    for (int k = 1; k <= kPromptCount; ++k)
        m_pGrid->SetCellText(k, 0, store.ReadString(PromptValueName(k), QString()));
    m_pIgnore->setChecked(store.ReadDword(QString::fromUtf8(kPromptIgnoreName), 0) != 0);
}

void CPromptSettingDlg::OnOK()
{
    m_pGrid->CommitEdit();
    const QString key = QString::fromUtf8(kPromptKey);
    for (int k = 1; k <= kPromptCount; ++k)
        RegWriteString(key, PromptValueName(k), m_pGrid->GetCellText(k, 0));
    RegWriteDword(key, QString::fromUtf8(kPromptIgnoreName), m_pIgnore->isChecked() ? 1 : 0);
    accept();
}

void CPromptSettingDlg::OnCancel()
{
    reject();
}

void CPromptSettingDlg::OnDefaults()
{
    const QStringList defaults = DefaultPromptStrings();
    for (int k = 1; k <= kPromptCount; ++k)
        m_pGrid->SetCellText(k, 0, defaults.value(k - 1));
    m_pIgnore->setChecked(false);
}

void CPromptSettingDlg::OnGridKeyDown(short *keyCode, short shift)
{
    const int row = m_pGrid->GetCursorRow();
    const int col = m_pGrid->GetCursorCol();
    if (*keyCode == 0x2E) {
        m_pGrid->SetCellText(row, col, QString());
    } else if (*keyCode == 0x43 && shift == 2) {
        SetClipboardText(m_pGrid->GetCellText(row, col));
    } else if (*keyCode == 0x56 && shift == 2) {
        m_pGrid->SetCellText(row, col, GetClipboardText());
    } else {
        return;
    }
    *keyCode = 0;
}

void CPromptSettingDlg::keyPressEvent(QKeyEvent *event)
{
    if (!SwallowEnterAndEscape(event))
        QDialog::keyPressEvent(event);
}

bool CPromptSettingDlg::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_pIgnoreText && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) {
        m_pIgnore->toggle();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void CPromptSettingDlg::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        FitToScreen(this);
}
