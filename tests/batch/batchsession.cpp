#include "batchsession.h"

#include "res/commandids.h"
#include "batch/cregkey.h"
#include "batch/promptjudge.h"

#include <QCoreApplication>
#include <QFile>

BatchSession::BatchSession(const QString &prompt, int ignoreFlag)
{
    const QString key = QString::fromUtf8(kPromptKey);
    RegWriteString(key, PromptValueName(1), prompt);
    RegWriteDword(key, QString::fromUtf8(kPromptIgnoreName), std::uint32_t(ignoreFlag));
    view.OnInitialUpdate(&doc);
    view.OnCommand(ID_BATCH_SEND);
    dlg = view.BatchWindow();
}

void BatchSession::SetRow(int row, const QString &address, const QString &port, const QString &file)
{
    Grid().SetCellText(row, CBatchSendDlg::COL_ADDRESS, address);
    Grid().SetCellText(row, CBatchSendDlg::COL_PORT, port);
    Grid().SetCellText(row, CBatchSendDlg::COL_FILE, file);
}

QString BatchSession::SendFile(const QString &name, const QByteArray &bytes)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(bytes);
    return path;
}

QString BatchSession::SendFileOfLines(const QString &name, const QList<QByteArray> &lines)
{
    QByteArray bytes;
    for (const QByteArray &line : lines)
        bytes += line + "\r\n";
    return SendFile(name, bytes);
}

bool BatchSession::Finished() const
{
    return !dlg->IsRunning() && (Asked(QStringLiteral("一括送信は終了しました。")) || Asked(QStringLiteral("中止しました。")));
}

void FlushPostedEvents()
{
    for (int i = 0; i < 4; ++i) {
        DispatchPostedMessages();
        QCoreApplication::sendPostedEvents();
    }
}
