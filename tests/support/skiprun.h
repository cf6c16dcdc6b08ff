// A test program that cannot run on this machine at all (no network namespace of its own, no IPv6
// loopback) skips with QN_SKIP_RUN and has QN_TEST_MAIN for its main: it then exits 77, which CTest
// (SKIP_RETURN_CODE in qn_add_test) lists as skipped rather than passed. A failure stays a failure.
#pragma once

#include <QApplication>
#include <QTest>

inline bool &QnRunSkipped()
{
    static bool skipped = false;
    return skipped;
}

#define QN_SKIP_RUN(why)             \
    do {                             \
        QnRunSkipped() = true;       \
        QSKIP(why);                  \
    } while (false)

#define QN_TEST_MAIN(TestObject)                                 \
    int main(int argc, char *argv[])                             \
    {                                                            \
        QApplication app(argc, argv);                            \
        app.setAttribute(Qt::AA_Use96Dpi, true);                 \
        TestObject tc;                                           \
        QTEST_SET_MAIN_SOURCE_PATH                               \
        const int result = QTest::qExec(&tc, argc, argv);        \
        return result == 0 && QnRunSkipped() ? 77 : result;      \
    }
