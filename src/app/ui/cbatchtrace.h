// The packet trace of a run without a window (--pcapng): recorded by the view's History from before
// anything is sent until the run ends, with its troubles said on stderr. Both the scenario run and
// the sequences' run keep one.
#pragma once

#include <QObject>
#include <QString>

class CBatchOptions;
class CQnView;

class CBatchTrace : public QObject
{
    Q_OBJECT
public:
    // Starts the trace the options ask for (none: nothing to do); false, said on stderr, when its
    // file cannot be opened.
    bool Start(CQnView *view, const CBatchOptions &options);
    // Waits until every telegram is written, however slow the reader; false when the trace failed
    // on the way (already said).
    bool End();

private:
    static void Say(const QString &line);

    CQnView *m_pView = nullptr;
    QString m_strPath;
    QString m_strFailure;
};
