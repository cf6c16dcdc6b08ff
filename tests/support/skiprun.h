// A test program that cannot run on this machine at all (no network namespace of its own, no IPv6
// loopback) ends with exit code 77, which CTest (SKIP_RETURN_CODE in qn_add_test) lists as skipped
// rather than passed. Such a test skips with QN_SKIP_RUN and has QN_TEST_MAIN for its main.
#pragma once

#include <QApplication>
#include <QTest>

namespace SkipRun {

inline constexpr int kExitCode = 77;

inline bool &Skipped()
{
    static bool skipped = false;
    return skipped;
}

// The exit code of a run whose Qt Test result is `result`: a failure stays a failure.
inline int ExitCode(int result)
{
    return result == 0 && Skipped() ? kExitCode : result;
}

}  // namespace SkipRun

// QSKIP for a reason that holds for every test function of the program.
#define QN_SKIP_RUN(why)              \
    do {                              \
        SkipRun::Skipped() = true;    \
        QSKIP(why);                   \
    } while (false)

// QTEST_MAIN with the skipped run's exit code.
#define QN_TEST_MAIN(TestObject)                               \
    int main(int argc, char *argv[])                           \
    {                                                          \
        QApplication app(argc, argv);                          \
        app.setAttribute(Qt::AA_Use96Dpi, true);               \
        TestObject tc;                                         \
        QTEST_SET_MAIN_SOURCE_PATH                             \
        return SkipRun::ExitCode(QTest::qExec(&tc, argc, argv)); \
    }
