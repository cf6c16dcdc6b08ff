#include "display/ui/cinputedit.h"

#include "display/ui/logfontheight.h"

#include <QApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QTextBlock>
#include <QTextCursor>

#include <climits>

CInputEdit::CInputEdit(QWidget *parent)
    : QPlainTextEdit(parent)
{
    setLineWrapMode(QPlainTextEdit::NoWrap);
}

void CInputEdit::CreateScaled(const QFont &font, QnRect rect, QWidget *parent, int id, UINT style)
{
    m_nId = id;
    m_nStyle = style ? style : kDefaultStyle;
    ScaleRectToFont(rect, LogFontHeight(font, parent));
    setParent(parent);
    setGeometry(rect.ToQRect());
    setFrameShape((m_nStyle & WS_BORDER) ? QFrame::StyledPanel : QFrame::NoFrame);
    setVerticalScrollBarPolicy((m_nStyle & WS_VSCROLL) ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
    setHorizontalScrollBarPolicy((m_nStyle & WS_HSCROLL) ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
    setLineWrapMode((m_nStyle & (ES_AUTOHSCROLL | WS_HSCROLL)) ? QPlainTextEdit::NoWrap : QPlainTextEdit::WidgetWidth);
    setFocusPolicy((m_nStyle & WS_TABSTOP) ? Qt::StrongFocus : Qt::ClickFocus);
    const bool readOnly = (m_nStyle & ES_READONLY) != 0;
    setReadOnly(readOnly);
    // Tab moves the focus on, as in the rest of a dialog; Ctrl+Tab types a tab (keyPressEvent).
    setTabChangesFocus(true);
    if (readOnly) {
        // A log keeps no undo history (it would hold every line ever appended) but can be copied from.
        setUndoRedoEnabled(false);
        setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    }
    setFont(font);
    setVisible((m_nStyle & WS_VISIBLE) != 0);
    update();
}

int CInputEdit::GetLineText(int line, QString &text, int max) const
{
    text.clear();
    const QTextBlock block = document()->findBlockByNumber(line);
    if (!block.isValid() || max <= 0)
        return 0;
    text = block.text().left(max);
    if (!text.isEmpty() && text.back().isHighSurrogate())
        text.chop(1);  // never keep half a character
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n') || c == QChar::LineSeparator ||
            c == QChar::ParagraphSeparator) {
            text.truncate(i);
            break;
        }
    }
    return static_cast<int>(text.size());
}

void CInputEdit::AppendText(const QString &text, bool addLineBreak)
{
    QTextCursor cursor = textCursor();
    cursor.movePosition(QTextCursor::End);
    setTextCursor(cursor);
    const QString fitted = FitText(text, Room());
    if (!fitted.isEmpty())
        insertPlainText(fitted);
    if (addLineBreak && Room() > 0)
        insertPlainText(QStringLiteral("\n"));
}

void CInputEdit::ClearAll()
{
    QTextCursor cursor = textCursor();
    cursor.select(QTextCursor::Document);
    cursor.removeSelectedText();
    setTextCursor(cursor);
}

void CInputEdit::LimitText(int chars)
{
    m_nLimit = chars > 0 ? chars : 0;
}

int CInputEdit::GetTextLength() const
{
    return document()->characterCount() - 1;  // the document's closing paragraph mark is no character
}

int CInputEdit::Room() const
{
    if (m_nLimit == 0)
        return INT_MAX;
    const QTextCursor cursor = textCursor();
    const int kept = GetTextLength() - (cursor.selectionEnd() - cursor.selectionStart());
    return qMax(0, m_nLimit - kept);
}

void CInputEdit::InsertOne(QChar character)
{
    if (Room() < 1)
        QApplication::beep();
    else
        insertPlainText(QString(character));
}

QString CInputEdit::FitText(QString text, int room)
{
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    if (text.size() > room) {
        text.truncate(room);
        if (!text.isEmpty() && text.back().isHighSurrogate())
            text.chop(1);
    }
    return text;
}

void CInputEdit::keyPressEvent(QKeyEvent *event)
{
    if (isReadOnly()) {
        QPlainTextEdit::keyPressEvent(event);
        return;
    }
    const bool isReturn = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (isReturn) {
        if (!(m_nStyle & ES_WANTRETURN) && !(event->modifiers() & Qt::ControlModifier)) {
            event->ignore();  // the dialog's default button takes it
            return;
        }
        // Every Return, Shift+Return included, starts a new line (never a soft break inside a line).
        InsertOne(QLatin1Char('\n'));
        event->accept();
        return;
    }
    if (event->key() == Qt::Key_Tab && event->modifiers() == Qt::ControlModifier) {
        InsertOne(QLatin1Char('\t'));
        event->accept();
        return;
    }
    const QString text = event->text();
    const bool inserts = !text.isEmpty() && !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier)) &&
                         (text.at(0).isPrint() || text.at(0) == QLatin1Char('\t'));
    if (inserts && text.size() > Room()) {
        QApplication::beep();
        event->accept();
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}

void CInputEdit::inputMethodEvent(QInputMethodEvent *event)
{
    const QString commit = event->commitString();
    if (commit.isEmpty() || isReadOnly()) {
        QPlainTextEdit::inputMethodEvent(event);
        return;
    }
    const QString fitted = FitText(commit, Room());
    if (fitted == commit) {
        QPlainTextEdit::inputMethodEvent(event);
        return;
    }
    QApplication::beep();
    QInputMethodEvent limited(event->preeditString(), event->attributes());
    limited.setCommitString(fitted, event->replacementStart(), event->replacementLength());
    QPlainTextEdit::inputMethodEvent(&limited);
}

void CInputEdit::insertFromMimeData(const QMimeData *source)
{
    if (isReadOnly() || !source || !source->hasText()) {
        QPlainTextEdit::insertFromMimeData(source);
        return;
    }
    const QString whole = FitText(source->text(), INT_MAX);
    const QString fitted = FitText(whole, Room());
    if (fitted.size() < whole.size())
        QApplication::beep();
    if (!fitted.isEmpty())
        insertPlainText(fitted);
    ensureCursorVisible();
}
