// The relay's place in the document: a document without a relay reads and writes byte for byte as
// before; one with a relay keeps it.
#include "document/cqndoc.h"
#include "relay/crelaysettings.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

QByteArray Saved(CQnDoc &doc, const QString &path)
{
    QString error;
    if (!doc.OnSaveDocument(path, &error))
        qFatal("%s", qPrintable(error));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("cannot read back");
    return file.readAll();
}

}  // namespace

class TestRelaySettings : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void roundTrip_data();
    void roundTrip();
};

void TestRelaySettings::roundTrip_data()
{
    QTest::addColumn<QStringList>("fields");  // A, B, A>B, B>A, seed
    QTest::newRow("no relay") << QStringList{"", "", "", "", ""};
    QTest::newRow("sides only") << QStringList{"listen:7000", "127.0.0.1:502", "", "", ""};
    QTest::newRow("everything") << QStringList{"/dev/ttyUSB0:115200", "listen:7000", "delay:5 jitter:2", "drop:1", "42"};
}

void TestRelaySettings::roundTrip()
{
    QFETCH(QStringList, fields);
    QTemporaryDir dir;
    CQnDoc doc;
    doc.SetSlotString(CQnDoc::SLOT_CLIENT_ADDRESS, QStringLiteral("192.0.2.1"));
    const QByteArray before = Saved(doc, dir.filePath(QStringLiteral("before.qn")));
    CRelaySettings settings;
    settings.sideA = fields[0];
    settings.sideB = fields[1];
    settings.disturbAtoB = fields[2];
    settings.disturbBtoA = fields[3];
    settings.seed = fields[4];
    QCOMPARE(settings.Write(&doc), !settings.IsEmpty());
    const QByteArray after = Saved(doc, dir.filePath(QStringLiteral("after.qn")));
    QCOMPARE(after == before, settings.IsEmpty());

    CQnDoc loaded;
    QString error;
    QVERIFY(loaded.OnOpenDocument(dir.filePath(QStringLiteral("after.qn")), &error));
    const CRelaySettings read = CRelaySettings::Read(loaded);
    QCOMPARE(QStringList({read.sideA, read.sideB, read.disturbAtoB, read.disturbBtoA, read.seed}), fields);
    // Reading and writing back what was read changes nothing.
    QVERIFY(!read.Write(&loaded));
    QCOMPARE(Saved(loaded, dir.filePath(QStringLiteral("again.qn"))), after);
}

QTEST_GUILESS_MAIN(TestRelaySettings)
#include "tst_relaysettings.moc"
