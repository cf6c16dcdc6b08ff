// The History's dump view: each telegram a heading row and its bytes in rows of 16, hex beside
// ASCII, drawn from the window's line store one visible row at a time. Bytes are selected with the
// mouse (within one telegram) or whole telegrams by their headings; up to 8 selected bytes are read
// as numbers and text in the pane below.
#pragma once

#include "display/cbyteforms.h"
#include "display/cdumpmodel.h"

#include <QAbstractScrollArea>
#include <QList>

#include <vector>

class QAction;
class QLabel;

class CDumpView : public QAbstractScrollArea
{
    Q_OBJECT
public:
    // A place: a telegram (the serial of its first line) and a byte of it; byte -1: the heading.
    struct Place
    {
        qint64 serial = -1;
        qsizetype byte = -1;
        friend bool operator==(const Place &, const Place &) = default;
    };

    explicit CDumpView(const CLineStore &store, QWidget *parent = nullptr);

    CDumpModel &Model();
    // Takes in what the store gained or lost, at the latest when the next event is handled;
    // `follow` brings the end into view.
    void Refresh(bool follow);

    // Finding a byte sequence: every match is marked, the current one selected.
    void SetPattern(const QByteArray &pattern);
    void SetFilter(char direction, bool matchingOnly);
    // Selects the next (or previous) match after the current one, or after the top of the view,
    // wrapping around. False when there is none.
    bool GoToMatch(bool forward);
    // 1 for the first match, 0 when none is current.
    qint64 CurrentMatch();
    void SetChecksumCheck(const CChecksumCheck *check);
    // Selects the next (or previous) telegram with a bad checksum after the selection; its row, or -1.
    int GoToBadTelegram(bool forward);

    void SetSelection(Place anchor, Place cursor);
    void SelectAll();
    bool HasSelection() const { return m_anchor.serial >= 0; }
    // The selected bytes when the selection lies in one telegram, else empty.
    QByteArray SelectedBytes();
    // The selected bytes, or else every telegram the selection touches, whole.
    QList<QByteArray> SelectedTelegrams();
    // What the clipboard gets: the selected bytes as spaced hex, or the selected telegrams' rows.
    QString SelectedText();
    void Copy();
    void CopyAs(CByteForms::Form form);
    QString InspectorText() const;
    QList<QAction *> CopyActions() const { return m_copyActions; }
    void SetMenuActions(const QList<QAction *> &actions) { m_menuActions = actions; }

    // The place a viewport point shows, and the row at the top of the view.
    Place PlaceAt(QPoint point);
    int FirstRow() const;
    int LineHeight() const { return m_lineHeight; }
    double CharWidth() const { return m_charWidth; }
    void ScrollToRow(int row);

Q_SIGNALS:
    // The view took in lines that arrived or left (after Refresh).
    void CaughtUp();

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    // The shown telegram of a serial, or -1.
    int ShownOf(qint64 serial) const;
    // Syncs the model with the store; true when it changed.
    bool CatchUp();
    void UpdateScrollBars();
    void UpdateFontMetrics();
    void UpdateInspector();
    // The selected byte range [from, to) of the shown telegram `shown`; -1, -1 for all of it, or
    // empty when it is not selected.
    std::pair<qsizetype, qsizetype> SelectedRange(int shown) const;
    void DrawRow(QPainter &painter, int row, int y, int left);
    // The bytes [from, to) of a byte row on a colour, in both columns.
    void Tint(QPainter &painter, const CDumpModel::Row &row, qsizetype from, qsizetype to, int y, int left,
              const QBrush &brush);
    void SelectCurrent();

    CDumpModel m_model;
    QLabel *m_pInspector;
    bool m_bPending = false;
    bool m_bFollow = false;
    int m_lineHeight = 1;
    int m_ascent = 1;
    double m_charWidth = 1;
    Place m_anchor;
    Place m_cursor;
    Place m_current;  // the current match's telegram and first byte
    QList<QAction *> m_copyActions;
    QList<QAction *> m_menuActions;
    QAction *m_pCopy;
    QAction *m_pSelectAll;
};
