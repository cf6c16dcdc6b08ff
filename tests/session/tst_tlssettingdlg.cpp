// The TLS settings page: the slots' texts through its controls and back, the way to it from the
// socket settings dialog, and the self-signed certificate it makes, read back with the openssl command.
#include "res/commandids.h"
#include "platform/qnwin.h"
#include "net/ctlscertmaker.h"
#include "net/ctlscontext.h"
#include "session/ui/csocketsettingdlg.h"
#include "session/ui/ctlssettingdlg.h"
#include "support/scriptedprompts.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Presses OK in the dialog that opens next, once it shows.
void OkWhenShown()
{
    QTimer::singleShot(0, [] {
        if (auto *dialog = qobject_cast<CQnDialog *>(QApplication::activeModalWidget()))
            qobject_cast<QPushButton *>(dialog->GetDlgItem(IDOK))->click();
    });
}

QString OpenSsl(const QStringList &arguments)
{
    QProcess openssl;
    openssl.start(QStringLiteral("openssl"), arguments);
    openssl.waitForFinished(30000);
    return QString::fromUtf8(openssl.readAllStandardOutput());
}

}  // namespace

class TestTlsSettingDlg : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void textsPassThroughTheControls_data()
    {
        QTest::addColumn<bool>("server");
        QTest::addColumn<QStringList>("texts");
        QTest::addColumn<QStringList>("saved");
        QTest::newRow("client, all set") << false
                                         << QStringList{"1", "file", "/ca.pem", "dev.local", "h2,mqtt", "/c.pem", "/c.key", "1.3"}
                                         << QStringList{"1", "file", "/ca.pem", "dev.local", "h2,mqtt", "/c.pem", "/c.key", "1.3"};
        QTest::newRow("client, empty: off and the defaults") << false << QStringList()
                                                             << QStringList{"", "", "", "", "", "", "", ""};
        QTest::newRow("hand-written choices read as the defaults") << false << QStringList{"yes", "strict", "", "", "", "", "", "1.1"}
                                                                   << QStringList{"", "", "", "", "", "", "", ""};
        QTest::newRow("server, mutual") << true << QStringList{"1", "/s.pem", "/s.key", "require", "/ca.pem", "qn", "1.2"}
                                        << QStringList{"1", "/s.pem", "/s.key", "require", "/ca.pem", "qn", "1.2"};
    }

    void textsPassThroughTheControls()
    {
        QFETCH(bool, server);
        QFETCH(QStringList, texts);
        QFETCH(QStringList, saved);
        CTlsSettingDlg dialog(server);
        dialog.m_texts = texts;
        OkWhenShown();
        QCOMPARE(dialog.DoModal(), IDOK);
        QCOMPARE(dialog.m_texts, saved);
    }

    void reachedFromTheSocketSettingsOfTcpOnly_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QStringList>("texts");  // the type's settings, then its TLS texts
        QTest::addColumn<QStringList>("edited");  // after TLS was switched off on the TLS page
        QTest::newRow("UDP: no TLS page") << int(TYPE_UDP) << QStringList{"h", "1", "2", "loop:0"} << QStringList{"h", "1", "2", "loop:0"};
        QTest::newRow("TCP server") << int(TYPE_TCP_SERVER) << QStringList{"5000", "8", "1", "/s.pem"} << QStringList{"5000", "8", "", "/s.pem", "", "", "", "", ""};
        QTest::newRow("TCP client") << int(TYPE_TCP_CLIENT) << QStringList{"h", "1", "2", "1", "none"} << QStringList{"h", "1", "2", "", "none", "", "", "", "", "", ""};
    }

    void reachedFromTheSocketSettingsOfTcpOnly()
    {
        QFETCH(int, type);
        QFETCH(QStringList, texts);
        QFETCH(QStringList, edited);
        texts.resize(edited.size());
        QTimer::singleShot(0, [] {
            auto *dialog = qobject_cast<CSocketSettingDlg *>(QApplication::activeModalWidget());
            if (auto *tls = qobject_cast<QPushButton *>(dialog->GetDlgItem(CSocketSettingDlg::IDC_TLS))) {
                QTimer::singleShot(0, [] {
                    auto *page = qobject_cast<CTlsSettingDlg *>(QApplication::activeModalWidget());
                    qobject_cast<QCheckBox *>(page->GetDlgItem(CTlsSettingDlg::IDC_TLS_FIELD))->setChecked(false);
                    qobject_cast<QPushButton *>(page->GetDlgItem(IDOK))->click();
                });
                tls->click();
            }
            qobject_cast<QPushButton *>(dialog->GetDlgItem(IDOK))->click();
        });
        QVERIFY(CSocketSettingDlg::Edit(nullptr, type, &texts));
        QCOMPARE(texts, edited);
    }

    void makesASelfSignedP256CertificateForTheNamesTyped()
    {
        QTemporaryDir dir;
        ScriptedPrompts prompts;
        prompts.fileNames.enqueue(dir.filePath(QStringLiteral("dev.pem")));
        CTlsSettingDlg dialog(true);
        dialog.m_texts = {QStringLiteral("1")};
        QTimer::singleShot(0, [&] {
            qobject_cast<QLineEdit *>(dialog.GetDlgItem(CTlsSettingDlg::IDC_CERT_NAMES))->setText(QStringLiteral("dev.local, 127.0.0.1"));
            qobject_cast<QPushButton *>(dialog.GetDlgItem(CTlsSettingDlg::IDC_MAKE_CERT))->click();
            qobject_cast<QPushButton *>(dialog.GetDlgItem(IDOK))->click();
        });
        QCOMPARE(dialog.DoModal(), IDOK);
        const QString cert = dir.filePath(QStringLiteral("dev.pem"));
        const QString key = dir.filePath(QStringLiteral("dev.key"));
        QCOMPARE(dialog.m_texts.mid(0, 3), (QStringList{QStringLiteral("1"), cert, key}));
        QVERIFY(prompts.MessageTexts().value(0).startsWith(QStringLiteral("証明書 ")));
        QCOMPARE(QFile::permissions(key) & (QFile::ReadGroup | QFile::ReadOther), QFile::Permissions());
        const QString text = OpenSsl({QStringLiteral("x509"), QStringLiteral("-in"), cert, QStringLiteral("-noout"), QStringLiteral("-text")});
        QVERIFY2(text.contains(QStringLiteral("DNS:dev.local, IP Address:127.0.0.1")), qPrintable(text));
        QVERIFY(text.contains(QStringLiteral("NIST CURVE: P-256")));
        QVERIFY(text.contains(QStringLiteral("Subject: CN = dev.local")));
        // The key is the certificate's: a server context takes both.
        QString error;
        QVERIFY2(CTlsContext::Make(CTlsSettings::ForServer(dialog.m_texts), &error), qPrintable(error));
    }

    void theKeyIsOwnerOnlyFromItsFirstMomentAndNoLinkIsFollowed_data()
    {
        QTest::addColumn<QString>("before");  // what the key's and the certificate's paths are: none, links, old files
        QTest::newRow("new files") << QString();
        QTest::newRow("links to other files") << QStringLiteral("link");
        QTest::newRow("old files readable by all") << QStringLiteral("old");
    }

    void theKeyIsOwnerOnlyFromItsFirstMomentAndNoLinkIsFollowed()
    {
        QFETCH(QString, before);
        QTemporaryDir dir;
        const QString key = dir.filePath(QStringLiteral("dev.key"));
        const QString cert = dir.filePath(QStringLiteral("dev.pem"));
        const QString victim = dir.filePath(QStringLiteral("victim"));
        QFile file(victim);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("keep") == 4);
        file.close();
        for (const QString &path : {key, cert}) {
            if (before == QStringLiteral("link"))
                QVERIFY(QFile::link(victim, path));
            else if (before == QStringLiteral("old"))
                QVERIFY(QFile::copy(victim, path) && QFile::setPermissions(path, QFile::Permissions(0x6644)));
        }
        // With no umask to narrow it, a file made with the wrong mode and narrowed afterwards would
        // show as a change of its attributes.
        const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        QVERIFY(watch >= 0 && ::inotify_add_watch(watch, QFile::encodeName(dir.path()).constData(), IN_ATTRIB) >= 0);
        const mode_t umask = ::umask(0);
        QString error;
        const bool made = CTlsCertMaker::Make({QStringLiteral("dev.local")}, cert, key, &error);
        ::umask(umask);
        char events[4096];
        const ssize_t changed = ::read(watch, events, sizeof events);
        ::close(watch);
        QVERIFY2(made, qPrintable(error));
        QCOMPARE(changed, ssize_t(-1));  // no attribute changed: each file was made as it stays
        struct stat info = {};
        QVERIFY(::lstat(QFile::encodeName(key).constData(), &info) == 0);
        QVERIFY(S_ISREG(info.st_mode));
        QCOMPARE(info.st_mode & 0777, mode_t(0600));
        QVERIFY(::lstat(QFile::encodeName(cert).constData(), &info) == 0);
        QVERIFY(S_ISREG(info.st_mode));
        QCOMPARE(QFile(victim).size(), qint64(4));  // a link's target is never written
        QString check;
        QVERIFY2(CTlsContext::Make(CTlsSettings::ForServer({QStringLiteral("1"), cert, key}), &check), qPrintable(check));
    }
};

QTEST_MAIN(TestTlsSettingDlg)
#include "tst_tlssettingdlg.moc"
