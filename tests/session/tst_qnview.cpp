// The view: its drawing, printing and print preview of it, and its command interface.
#include "res/commandids.h"
#include "app/cqndoc.h"
#include "session/cqnview.h"

#include <QApplication>
#include <QFile>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

class TestQnView : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void paintsTheButtonFace()
    {
        CQnView view;
        view.resize(120, 40);
        const QImage image = view.grab().toImage();
        const QColor face = view.palette().color(QPalette::Button);
        QCOMPARE(image.pixelColor(0, 0), face);
        QCOMPARE(image.pixelColor(119, 39), face);
    }

    void printsItsDrawing()
    {
        QTemporaryDir dir;
        CQnView view;
        view.resize(200, 20);
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(dir.filePath(QStringLiteral("view.pdf")));
        QVERIFY(view.PrintOn(&printer));
        QFile pdf(printer.outputFileName());
        QVERIFY(pdf.open(QIODevice::ReadOnly));
        QVERIFY(pdf.read(5) == "%PDF-");
        QVERIFY(pdf.size() > 200);
    }

    void printPreviewRendersTheView()
    {
        CQnView view;
        view.resize(200, 20);
        int pages = -1;
        QTimer::singleShot(0, this, [&] {
            auto *preview = qobject_cast<QPrintPreviewDialog *>(QApplication::activeModalWidget());
            if (!preview)
                return;
            if (auto *widget = preview->findChild<QPrintPreviewWidget *>())
                pages = widget->pageCount();
            preview->reject();
        });
        view.OnCommand(ID_FILE_PRINT_PREVIEW);
        QCOMPARE(pages, 1);
    }

    void printCommandAsksForThePrinterFirst()
    {
        CQnView view;
        bool asked = false;
        QTimer::singleShot(0, this, [&] {
            if (auto *dialog = qobject_cast<QPrintDialog *>(QApplication::activeModalWidget())) {
                asked = true;
                dialog->reject();
            }
        });
        view.OnCommand(ID_FILE_PRINT);
        QVERIFY(asked);
    }

    void initialUpdateTakesTheDocumentAndAnnouncesNewStates()
    {
        CQnView view;
        CQnDoc doc;
        QSignalSpy spy(&view, &CQnView::CommandStateChanged);
        view.OnInitialUpdate(&doc);
        QCOMPARE(view.GetDocument(), &doc);
        QCOMPARE(spy.size(), 1);
    }
};

QTEST_MAIN(TestQnView)
#include "tst_qnview.moc"
