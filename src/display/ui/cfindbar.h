// The find bar at the bottom of a message window: what to find, text or hex, "n / total" and the filter.
#pragma once

#include "display/clinesearch.h"

#include <QWidget>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QToolButton;

class CFindBar : public QWidget
{
    Q_OBJECT
public:
    // Room for a whole telegram's hex digits (a line edit takes 32,767 characters unless told).
    static constexpr int kMaxPattern = 4 * 1024 * 1024;

    // `directions`: offer the choice of all / received / sent lines (the History).
    CFindBar(bool directions, QWidget *parent = nullptr);

    QLineEdit *Edit() const { return m_pEdit; }
    QComboBox *ModeBox() const { return m_pMode; }
    QCheckBox *MatchingOnlyBox() const { return m_pMatchingOnly; }
    // Null without the direction choice.
    QComboBox *DirectionBox() const { return m_pDirection; }

    CLineSearch Search() const;
    bool MatchingOnly() const;
    // 'R', 'S', CLineStore::kMarks (the mark lines, once offered) or 0 (all lines).
    char Direction() const;
    // Offers the mark lines alone (a relay's History) after all / received / sent.
    void OfferMarks();
    // Shows "n / total"; an invalid search shows its text in red.
    void ShowCount(qint64 current, qint64 total, bool valid);
        // Shows a note where the count goes (the checksum check's steps), in red when it found nothing.
    void ShowNote(const QString &text, bool nothingFound);
    QString CountText() const;

Q_SIGNALS:
    void SearchChanged();
    void FilterChanged();
    void NextRequested();
    void PreviousRequested();
    void CloseRequested();

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    QLineEdit *m_pEdit;
    QComboBox *m_pMode;
    QToolButton *m_pPrevious;
    QToolButton *m_pNext;
    QLabel *m_pCount;
    QCheckBox *m_pMatchingOnly;
    QComboBox *m_pDirection = nullptr;
    QToolButton *m_pClose;
};
