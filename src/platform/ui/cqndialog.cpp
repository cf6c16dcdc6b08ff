#include "platform/ui/cqndialog.h"

#include "platform/ui/dialogunits.h"
#include "platform/qnwin.h"
#include "platform/ui/screenfit.h"
#include "platform/ui/uifonts.h"

#include <QPushButton>
#include <QShowEvent>

CQnDialog::CQnDialog(const QString &caption, int width, int height, QWidget *parent)
    : QDialog(parent), m_font(DialogFont(QString::fromUtf8(kFaceMsPGothic), 9))
{
    setWindowTitle(caption);
    setFont(m_font);
    setFixedSize(DluToPixels(m_font, width, height));
}

void CQnDialog::SetTemplateSize(int width, int height)
{
    setFixedSize(DluToPixels(m_font, width, height));
}

int CQnDialog::DoModal()
{
    OnInitDialog();
    return exec() == QDialog::Accepted ? IDOK : IDCANCEL;
}

QWidget *CQnDialog::GetDlgItem(int id) const
{
    const auto it = m_items.find(id);
    return it == m_items.end() ? nullptr : it->second;
}

void CQnDialog::DoDataExchange(bool) {}

void CQnDialog::OnInitDialog()
{
    DoDataExchange(false);
}

void CQnDialog::OnOK()
{
    DoDataExchange(true);
    accept();
}

QPushButton *CQnDialog::AddButton(int id, const QString &text, int x, int y, int width, int height, bool isDefault)
{
    auto *button = AddItem(id, new QPushButton(text, this), x, y, width, height);
    button->setDefault(isDefault);
    button->setAutoDefault(false);
    if (id == IDOK)
        connect(button, &QPushButton::clicked, this, [this] { OnOK(); });
    else if (id == IDCANCEL)
        connect(button, &QPushButton::clicked, this, &QDialog::reject);
    return button;
}

void CQnDialog::PlaceItem(int id, QWidget *control, int x, int y, int width, int height)
{
    control->setParent(this);
    control->setGeometry(DluToPixels(m_font, x, y, width, height));
    m_items[id] = control;
}

void CQnDialog::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        FitToScreen(this);
}
