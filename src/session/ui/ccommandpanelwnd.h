// The "ｺﾏﾝﾄﾞ一覧" window: the commands file's sequences as buttons on pages, each sent by a click or
// by its key while any window of the program is active, the running one's step shown and stoppable,
// a failure named on its button and in the Log; the editor and import/export of the file.
#pragma once

#include "session/ccommandsfile.h"
#include "session/csequencerunner.h"

#include <QHash>
#include <QList>
#include <QWidget>

#include <utility>

class QGridLayout;
class QLabel;
class QPushButton;
class QShortcut;
class QTabWidget;

class CCommandPanelWnd : public QWidget
{
    Q_OBJECT
public:
    // `keyOwner`: the widget whose shortcuts carry the keys (they work while any window is active).
    explicit CCommandPanelWnd(QWidget *keyOwner);
    ~CCommandPanelWnd() override;

    void SetCommands(CCommandsFile commands);
    const CCommandsFile &Commands() const { return m_commands; }
    CSequenceRunner &Runner() { return m_runner; }
    // Starts sequence `name` (a click or its key); false when it is unknown or one is running.
    bool Run(const QString &name);
    QString StatusText() const;
    // The button of sequence `name` (its page's buttons are made when the page is first shown or
    // asked for); null for a name the commands do not have.
    QPushButton *Button(const QString &name);
    QTabWidget *Pages() const { return m_pPages; }
    // The editor (modal) and the file commands of the window's buttons.
    void Edit();
    bool Import(const QString &path, QString *error);
    bool Export(const QString &path, QString *error) const;
    // Appends a sequence's rows (a recording) to the commands; false with the reason when refused.
    bool AddRows(const QList<QStringList> &rows, QString *error);

Q_SIGNALS:
    // The user has changed the commands (editor, import): the document keeps them.
    void CommandsChanged(const QByteArray &file);
    // A line for the Log.
    void Note(const QString &text);

private:
    // A tab: its sequences' buttons are made when it is first shown, so a file of many pages opens
    // with the first page's buttons alone.
    struct Page
    {
        QGridLayout *grid = nullptr;
        QList<qsizetype> sequences;  // indexes into the commands' sequences
        bool built = false;
    };
    void Rebuild();
    void BuildPage(int index);
    void OnStep(int step, const QString &what);
    void OnFinished(int outcome, const QString &failure);
    void SetButtonState(const QString &name, const QString &style, const QString &tip);

    CCommandsFile m_commands;
    CSequenceRunner m_runner;
    QWidget *m_pKeyOwner;
    QTabWidget *m_pPages = nullptr;
    QLabel *m_pStatus = nullptr;
    QPushButton *m_pStop = nullptr;
    QList<Page> m_pages;
    QHash<QString, int> m_pageOf;  // each sequence's page
    QHash<QString, QPushButton *> m_buttons;
    // The state (style, tooltip) of buttons whose page is not yet built, given them when it is.
    QHash<QString, std::pair<QString, QString>> m_pendingStates;
    QList<QShortcut *> m_shortcuts;
    QHash<QString, quint32> m_runs;  // each sequence's runs, for ${seq}
};
