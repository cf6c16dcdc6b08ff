// A one-line label for texts that may be longer than its room: elided at the end (a text's first
// words say the most), the whole text in its tooltip and in what it tells screen readers.
#pragma once

#include <QLabel>
#include <QString>

class CElidedLabel : public QLabel
{
    Q_OBJECT
public:
    explicit CElidedLabel(QWidget *parent = nullptr);

    void SetFullText(const QString &text);
    QString FullText() const { return m_strFull; }
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void Elide();

    QString m_strFull;
};
