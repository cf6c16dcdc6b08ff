// A modal dialog laid out from its template in dialog units, with its controls found by their ids.
#pragma once

#include <QDialog>
#include <QFont>
#include <QString>

#include <map>

class QPushButton;

class CQnDialog : public QDialog
{
    Q_OBJECT
public:
    // `width` × `height` dialog units of client area, in the dialog font "ＭＳ Ｐゴシック" 9 point.
    CQnDialog(const QString &caption, int width, int height, QWidget *parent = nullptr);

    // Initialises, runs modally and returns IDOK or IDCANCEL.
    int DoModal();
    // The control with this id (1 OK, 2 cancel, the template's ids), or null.
    QWidget *GetDlgItem(int id) const;

protected:
    // Loads the controls from the members (save false) or stores them into the members (save true).
    virtual void DoDataExchange(bool save);
    // Runs before the dialog shows: loads the controls from the members.
    virtual void OnInitDialog();
    // OK stores the controls into the members and closes with IDOK.
    virtual void OnOK();
    void showEvent(QShowEvent *event) override;

    // Places a control at a template rectangle in dialog units and registers its id.
    template <class Control>
    Control *AddItem(int id, Control *control, int x, int y, int width, int height)
    {
        PlaceItem(id, control, x, y, width, height);
        return control;
    }
    QPushButton *AddButton(int id, const QString &text, int x, int y, int width, int height, bool isDefault);
    // A client area of `width` × `height` dialog units instead of the template's.
    void SetTemplateSize(int width, int height);

private:
    void PlaceItem(int id, QWidget *control, int x, int y, int width, int height);

    QFont m_font;
    std::map<int, QWidget *> m_items;
};
