// A session for the batch window tests: a real view with its document, the batch window opened
// through the view's command, scripted answers, and send files in a temporary folder.
#pragma once

#include "document/cqndoc.h"
#include "batch/ui/cbatchgrid.h"
#include "batch/ui/cbatchsenddlg.h"
#include "session/ui/cqnview.h"
#include "support/scriptedprompts.h"
#include "support/tempconfighome.h"

#include <QTemporaryDir>

struct BatchSession
{
    // Stores "> " as the only prompt string unless told otherwise, then opens the batch window.
    explicit BatchSession(const QString &prompt = QStringLiteral("> "), int ignoreFlag = 0);

    CBatchGrid &Grid() const { return *dlg->ScenarioGrid(); }
    void SetRow(int row, const QString &address, const QString &port, const QString &file);
    QString Result(int row) const { return Grid().GetCellText(row, CBatchSendDlg::COL_RESULT); }
    // Writes a send file of `bytes` and returns its path.
    QString SendFile(const QString &name, const QByteArray &bytes);
    // A send file whose lines are `lines`, each ended by CR LF.
    QString SendFileOfLines(const QString &name, const QList<QByteArray> &lines);
    // Starts the run (the start question is answered Yes).
    void Start() { dlg->StartBatch(); }
    bool Finished() const;
    bool Asked(const QString &text) const { return prompts.MessageTexts().contains(text); }

    TempConfigHome config;
    ScriptedPrompts prompts;
    QTemporaryDir dir;
    CQnDoc doc;
    CQnView view;
    CBatchSendDlg *dlg = nullptr;
};

// Handles every event already posted, and those they post in turn, without waiting for sockets.
void FlushPostedEvents();
