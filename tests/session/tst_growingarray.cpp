// The growing array of a channel's series: what was added is what is read, across its growth (the
// pages remapped), after its front was given back, and in a copy and a moved array.
#include "session/cgrowingarray.h"

#include <QTest>

#include <vector>

class TestGrowingArray : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void holdsWhatWasAdded_data()
    {
        QTest::addColumn<int>("added");
        QTest::addColumn<int>("dropped");  // from the front, halfway through the adding
        QTest::newRow("none") << 0 << 0;
        QTest::newRow("within the first pages") << 100 << 10;
        QTest::newRow("across the first growth") << 8193 << 0;
        QTest::newRow("grown many times, half given back") << 600000 << 150000;
        QTest::newRow("all but one given back, then more") << 20000 << 10000;
        QTest::newRow("more given back than held") << 50 << 100;
    }
    void holdsWhatWasAdded()
    {
        QFETCH(int, added);
        QFETCH(int, dropped);
        CGrowingArray<qint64> array;
        std::vector<qint64> expected;
        for (int i = 0; i < added; ++i) {
            const qint64 value = qint64(i) * 7919 - 3;
            array.push_back(value);
            expected.push_back(value);
            if (i == added / 2) {
                array.EraseFront(size_t(dropped));
                expected.erase(expected.begin(), expected.begin() + std::min<qsizetype>(dropped, qsizetype(expected.size())));
            }
        }
        const CGrowingArray<qint64> copy = array;
        CGrowingArray<qint64> moved = std::move(array);
        for (const CGrowingArray<qint64> *seen : {&copy, static_cast<const CGrowingArray<qint64> *>(&moved)}) {
            QCOMPARE(seen->size(), expected.size());
            QVERIFY(std::equal(seen->begin(), seen->end(), expected.begin()));
        }
        QCOMPARE(array.size(), size_t(0));
        moved.push_back(5);  // the moved-to array grows on
        QCOMPARE(moved.back(), qint64(5));
    }
};

QTEST_GUILESS_MAIN(TestGrowingArray)
#include "tst_growingarray.moc"
