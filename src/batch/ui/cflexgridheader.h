// The caption row or number column of a CvsFlexGrid: flat cells in the colour each one is given,
// so that a marked number cell shows exactly the colour of its row.
#pragma once

#include <QHeaderView>

class CFlexGridHeader : public QHeaderView
{
    Q_OBJECT
public:
    CFlexGridHeader(Qt::Orientation orientation, QWidget *parent);

    // One fixed cell: background, grid lines on its right and bottom, text with a small margin.
    // Pixels between a caption's text and its cell's left and right edges.
    static constexpr int kTextInset = 3;

    static void PaintCell(QPainter *painter, const QRect &rect, const QString &text, Qt::Alignment alignment,
                          const QColor &back, const QPalette &palette);

protected:
    void paintSection(QPainter *painter, const QRect &rect, int logicalIndex) const override;
};
