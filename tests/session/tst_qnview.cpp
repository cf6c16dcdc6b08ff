// The view: its drawing, printing and print preview of it, and its command interface.
#include "res/commandids.h"
#include "document/cqndoc.h"
#include "session/ui/csocketsettingdlg.h"
#include "session/ui/cqnview.h"
#include "support/sessionprobe.h"

#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QPushButton>
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

    void connectLogLineKeepsTheAddressAsTyped_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("expected");
        QTest::newRow("UDP") << int(TYPE_UDP) << QStringLiteral("ｿｹｯﾄ接続  接続先ｱﾄﾞﾚｽ:h%3%2%1 接続先ﾎﾟｰﾄ:5 QNﾎﾟｰﾄ:-1");
        QTest::newRow("TCP client") << int(TYPE_TCP_CLIENT) << QStringLiteral("ｿｹｯﾄ接続  ｻｰﾊﾞｱﾄﾞﾚｽ:h%3%2%1 ｻｰﾊﾞﾎﾟｰﾄ:5 QNﾎﾟｰﾄ:-1");
    }
    void connectLogLineKeepsTheAddressAsTyped()
    {
        QFETCH(int, type);
        QFETCH(QString, expected);
        QCOMPARE(SessionProbe::ConnectLogText(type, QStringLiteral("h%3%2%1"), 5, -1), expected);
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

    void settingsKeepTheStoredBytesOfFieldsLeftAsTheyWere()
    {
        // UDP slots 0-2: bytes the code page maps back differently, an invalid pair, a port.
        const QByteArray kept[] = {QByteArray("\xED\x40\x81\xFF", 4), QByteArray("\x87\x90")};
        QByteArray file("\x15QN FileVersion '2.00'");
        for (const QByteArray &bytes : kept)
            file += char(bytes.size()) + bytes;
        file += "\x02" "10" + QByteArray(CQnDoc::kSlotCount - 3 + 4 * CQnDoc::kSlotCount, '\0');
        QTemporaryDir dir;
        QFile out(dir.filePath(QStringLiteral("odd.qn")));
        QVERIFY(out.open(QIODevice::WriteOnly) && out.write(file) == file.size());
        out.close();
        CQnDoc doc;
        QString error;
        QVERIFY2(doc.OnOpenDocument(out.fileName(), &error), qPrintable(error));
        CQnView view;
        view.OnInitialUpdate(&doc);
        QTimer::singleShot(0, this, [] {
            auto *dialog = qobject_cast<CSocketSettingDlg *>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            static_cast<QLineEdit *>(dialog->GetDlgItem(IDC_SETTING_VALUE3))->setText(QStringLiteral("20"));
            static_cast<QPushButton *>(dialog->GetDlgItem(IDOK))->click();
        });
        view.OnCommand(ID_SOCKET_SETTING);
        QCOMPARE(doc.GetSlotBytes(0), kept[0]);
        QCOMPARE(doc.GetSlotBytes(1), kept[1]);
        QCOMPARE(doc.GetSlotBytes(2), QByteArray("20"));
        QVERIFY(doc.IsModified());
    }
};

QTEST_MAIN(TestQnView)
#include "tst_qnview.moc"
