// The widget side of the connection types: a page for every type, in the type table's order, each
// either a dialog of its own or the socket settings dialog with a field for each setting slot it edits.
#include "document/cconnectiontype.h"
#include "session/ui/cconnectionpage.h"

#include <QTest>

class TestConnectionPage : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void every_type_has_its_page();
};

void TestConnectionPage::every_type_has_its_page()
{
    const auto types = CConnectionType::All();
    const auto pages = CConnectionPage::All();
    QCOMPARE(pages.size(), types.size());
    for (std::size_t i = 0; i < types.size(); ++i) {
        const CConnectionPage &page = pages[i];
        QCOMPARE(page.type, types[i].type);
        QCOMPARE(CConnectionPage::Find(types[i].type), &page);
        QVERIFY(page.Caption().contains(QLatin1Char('&')));
        if (page.edit)
            continue;
        // The three fields hold the type's first setting texts; what follows is the added fields'.
        int fields = 0;
        for (const char16_t *label : page.labels)
            fields += label && *label ? 1 : 0;
        QCOMPARE(fields, qMin(3, types[i].count));
    }
    QVERIFY(!CConnectionPage::Find(-1));
}

QTEST_MAIN(TestConnectionPage)
#include "tst_connectionpage.moc"
