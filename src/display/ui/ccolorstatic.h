// One line of black text on a solid background colour inside a sunken edge: the view's labels and lamps.
#pragma once

#include "display/scalerecttofont.h"
#include "platform/qnwin.h"

#include <QFont>
#include <QFrame>
#include <QString>

class CColorStatic : public QFrame
{
    Q_OBJECT
public:
    CColorStatic();

    // Makes the control a child of `parent` at `rect`, scaled by the height of `font` when one is
    // given (the font serves only that). Does nothing when the control already exists.
    void Create(const QFont *font, const QString &text, QnRect rect, COLORREF colour, QWidget *parent);
    // Both repaint at once; before Create they do nothing and are not remembered.
    void SetText(const QString &text);
    void SetColor(COLORREF colour);

    bool IsCreated() const { return m_bCreated; }
    const QString &Text() const { return m_strText; }
    COLORREF Color() const { return m_crBack; }
    const QFont &TextFont() const { return m_font; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QFont m_font;
    BOOL m_bCreated = FALSE;
    COLORREF m_crBack = 0;
    QString m_strText;
};
