// The multi-line text control of the telegram windows: scaled creation, line access, append, clear.
#pragma once

#include "display/scalerecttofont.h"
#include "platform/qnwin.h"

#include <QPlainTextEdit>

class CInputEdit : public QPlainTextEdit
{
    Q_OBJECT
public:
    // Styles understood by CreateScaled (the Windows values).
    static constexpr UINT WS_CHILD = 0x40000000;
    static constexpr UINT WS_VISIBLE = 0x10000000;
    static constexpr UINT WS_BORDER = 0x00800000;
    static constexpr UINT WS_VSCROLL = 0x00200000;
    static constexpr UINT WS_HSCROLL = 0x00100000;
    static constexpr UINT WS_TABSTOP = 0x00010000;
    static constexpr UINT ES_MULTILINE = 0x0004;
    static constexpr UINT ES_UPPERCASE = 0x0008;  // accepted, letters stay as typed
    static constexpr UINT ES_AUTOVSCROLL = 0x0040;
    static constexpr UINT ES_AUTOHSCROLL = 0x0080;
    static constexpr UINT ES_READONLY = 0x0800;
    static constexpr UINT ES_WANTRETURN = 0x1000;
    // Style 0 stands for this one.
    static constexpr UINT kDefaultStyle = WS_CHILD | WS_VISIBLE | WS_BORDER | WS_VSCROLL | WS_HSCROLL | WS_TABSTOP |
                                          ES_MULTILINE | ES_UPPERCASE | ES_AUTOVSCROLL | ES_AUTOHSCROLL |
                                          ES_WANTRETURN;
    // The text area of the message windows.
    static constexpr UINT kReadOnlyStyle = WS_CHILD | WS_VISIBLE | WS_BORDER | WS_VSCROLL | WS_HSCROLL |
                                           WS_TABSTOP | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL |
                                           ES_AUTOHSCROLL | ES_WANTRETURN;

    explicit CInputEdit(QWidget *parent = nullptr);

    // Places the control in `parent` at `rect` scaled to the font's height (ScaleRectToFont), applies
    // the style (0 = kDefaultStyle), sets the font and records the control id. Tab moves the focus
    // to the next control; Ctrl+Tab types a tab.
    void CreateScaled(const QFont &font, QnRect rect, QWidget *parent, int id, UINT style = 0);

    // The text of line `line` up to its first CR or LF, at most `max` characters; returns its length.
    // A line that does not exist gives 0 and an empty text.
    int GetLineText(int line, QString &text, int max) const;
    // Puts the caret at the end and inserts `text`, then a line break when asked.
    void AppendText(const QString &text, bool addLineBreak);
    // Selects everything and deletes it.
    void ClearAll();

    // Limits the text to `chars` characters (a line break counts one); 0 removes the limit. Typing
    // past it is refused, pasting and appending insert only what fits.
    void LimitText(int chars);
    int GetLimitText() const { return m_nLimit; }
    // Characters in the control, a line break counting one.
    int GetTextLength() const;
    int GetLineCount() const { return blockCount(); }
    int GetDlgCtrlID() const { return m_nId; }
    UINT GetStyle() const { return m_nStyle; }

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void inputMethodEvent(QInputMethodEvent *event) override;
    void insertFromMimeData(const QMimeData *source) override;

private:
    // Room left for an insertion that replaces the current selection.
    int Room() const;
    // Types one character a key gives (a line break, a tab) where there is room, else beeps.
    void InsertOne(QChar character);
    // `text` with CR LF and CR made single line breaks, cut to `room` characters (a surrogate pair
    // is never split).
    static QString FitText(QString text, int room);

    int m_nId = 0;
    UINT m_nStyle = 0;
    int m_nLimit = 0;  // 0: no limit
};
