// The type, settings and About dialogs, driven through their own buttons.
#include "app/ui/caboutdlg.h"
#include "res/commandids.h"
#include "session/ui/cserialsettingdlg.h"
#include "session/ui/csocketsettingdlg.h"
#include "support/scriptedprompts.h"
#include "session/ui/csockettypedlg.h"
#include "platform/ui/dialogunits.h"
#include "platform/qnwin.h"
#include "platform/ui/uifonts.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>

namespace {

// Runs the dialog modally; once it shows, `act` does what the user does, then `button` is pressed.
template <class Dialog, class... Args>
int RunWith(Dialog &dialog, int button, const std::function<void()> &act, Args... args)
{
    QTimer::singleShot(0, &dialog, [&dialog, button, act] {
        if (act)
            act();
        static_cast<QPushButton *>(dialog.GetDlgItem(button))->click();
    });
    return dialog.DoModal(args...);
}

QRadioButton *Radio(const CSocketTypeDlg &dialog, int id)
{
    return static_cast<QRadioButton *>(dialog.GetDlgItem(id));
}

}  // namespace

class TestDialogs : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { InstallFontSubstitutions(); }

    void typeDialogShowsAndReturnsTheChosenType_data()
    {
        QTest::addColumn<int>("initial");
        QTest::addColumn<int>("clicked");
        QTest::addColumn<int>("button");
        QTest::addColumn<int>("result");
        QTest::newRow("UDP to TCP client") << int(TYPE_UDP) << IDC_TYPE_TCP_CLIENT << IDOK << int(TYPE_TCP_CLIENT);
        QTest::newRow("TCP client to server") << int(TYPE_TCP_CLIENT) << IDC_TYPE_TCP_SERVER << IDOK << int(TYPE_TCP_SERVER);
        QTest::newRow("same type") << int(TYPE_TCP_SERVER) << IDC_TYPE_TCP_SERVER << IDOK << int(TYPE_TCP_SERVER);
        QTest::newRow("cancel keeps the caller's type") << int(TYPE_UDP) << IDC_TYPE_TCP_SERVER << IDCANCEL << int(TYPE_UDP);
        QTest::newRow("TCP client to serial") << int(TYPE_TCP_CLIENT) << IDC_TYPE_SERIAL << IDOK << int(TYPE_SERIAL);
        QTest::newRow("serial to UDP") << int(TYPE_SERIAL) << IDC_TYPE_UDP << IDOK << int(TYPE_UDP);
    }
    void typeDialogShowsAndReturnsTheChosenType()
    {
        QFETCH(int, initial);
        QFETCH(int, clicked);
        QFETCH(int, button);
        QFETCH(int, result);
        CSocketTypeDlg dialog;
        dialog.m_nType = initial;
        QList<bool> shownChecked;
        const int answer = RunWith(dialog, button, [&] {
            for (int id : {IDC_TYPE_UDP, IDC_TYPE_TCP_SERVER, IDC_TYPE_TCP_CLIENT, IDC_TYPE_SERIAL})
                shownChecked << Radio(dialog, id)->isChecked();
            Radio(dialog, clicked)->click();
        });
        QCOMPARE(answer, button);
        QCOMPARE(shownChecked, (QList<bool>{initial == 0, initial == 1, initial == 2, initial == 3}));
        QCOMPARE(dialog.m_nType, result);
        QCOMPARE(dialog.windowTitle(), QStringLiteral("ﾀｲﾌﾟ"));
    }

    void serialSettingsKeepTheLineAndRefuseWhatIsNoSetting_data()
    {
        QTest::addColumn<QStringList>("shown");
        QTest::addColumn<QString>("baud");  // typed over the shown one; empty: left as it is
        QTest::addColumn<QStringList>("saved");  // empty: refused, the dialog stays open
        const QStringList line{QStringLiteral("/dev/ttyUSB9"), QStringLiteral("19200"), QStringLiteral("5E1.5"),
                               QStringLiteral("xonxoff"), QStringLiteral("byte:0A"), QStringLiteral("dtr:0 rts:1")};
        QTest::newRow("every setting as shown") << line << QString() << line + QStringList{QString()};
        QTest::newRow("empty slots are the defaults") << QStringList{QStringLiteral("/dev/ttyS9")} << QStringLiteral("250000")
            << QStringList{QStringLiteral("/dev/ttyS9"), QStringLiteral("250000"), QStringLiteral("8N1"), QStringLiteral("none"), QString(), QString(), QString()};
        const QStringList rs485 = line + QStringList{QStringLiteral("rs485:after before:2 after:5 break:100")};
        QTest::newRow("RS-485 and the break as shown") << rs485 << QString() << rs485;
        QTest::newRow("a baud that is no number") << line << QStringLiteral("fast") << QStringList{};
    }
    void serialSettingsKeepTheLineAndRefuseWhatIsNoSetting()
    {
        QFETCH(QStringList, shown);
        QFETCH(QString, baud);
        QFETCH(QStringList, saved);
        ScriptedPrompts prompts;
        CSerialSettingDlg dialog;
        dialog.m_texts = shown;
        bool stayed = false;
        QTimer::singleShot(0, &dialog, [&] {
            if (!baud.isEmpty())
                static_cast<QComboBox *>(dialog.GetDlgItem(CSerialSettingDlg::IDC_BAUD))->setEditText(baud);
            static_cast<QPushButton *>(dialog.GetDlgItem(IDOK))->click();
            stayed = dialog.isVisible();
            if (stayed)
                static_cast<QPushButton *>(dialog.GetDlgItem(IDCANCEL))->click();
        });
        const int answer = dialog.DoModal();
        QCOMPARE(answer, saved.isEmpty() ? IDCANCEL : IDOK);
        QCOMPARE(stayed, saved.isEmpty());
        QCOMPARE(prompts.calls.size(), saved.isEmpty() ? 1 : 0);
        if (!saved.isEmpty())
            QCOMPARE(dialog.m_texts, saved);
        else
            QCOMPARE(prompts.calls[0].text, QStringLiteral("ﾎﾞｰﾚｰﾄ \"fast\" は数値ではありません。"));
    }

    void serialSettingsTakeATypedDeviceNotPluggedInYet()
    {
        ScriptedPrompts prompts;
        CSerialSettingDlg dialog;
        dialog.m_texts = {QStringLiteral("/dev/ttyS9")};
        QTimer::singleShot(0, &dialog, [&] {
            QLineEdit *device = static_cast<QComboBox *>(dialog.GetDlgItem(CSerialSettingDlg::IDC_DEVICE))->lineEdit();
            device->selectAll();
            QTest::keyClicks(device, QStringLiteral("/dev/quillnet-later"));
            QTest::keyClick(device, Qt::Key_Return);  // puts the text into the list, and presses OK
            if (dialog.isVisible())
                static_cast<QPushButton *>(dialog.GetDlgItem(IDCANCEL))->click();
        });
        QCOMPARE(dialog.DoModal(), IDOK);
        QCOMPARE(prompts.calls.size(), 0);
        QCOMPARE(dialog.m_texts.value(0), QStringLiteral("/dev/quillnet-later"));
    }

    // The RS-485 fields as typed: written to the options slot, or refused with the reason.
    void serialRs485FieldsWriteTheOptionsSlot_data()
    {
        QTest::addColumn<bool>("on");
        QTest::addColumn<int>("rts");  // 0 on send, 1 after send
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("after");
        QTest::addColumn<QString>("breakMs");
        QTest::addColumn<QString>("options");  // empty with `refusal`: refused
        QTest::addColumn<QString>("refusal");
        QTest::newRow("off, 250 ms: the slot stays empty") << false << 0 << QStringLiteral("9") << QString() << QStringLiteral("250") << QString() << QString();
        QTest::newRow("on send, no delays typed") << true << 0 << QString() << QString() << QString() << QStringLiteral("rs485:send before:0 after:0") << QString();
        QTest::newRow("after send with delays") << true << 1 << QStringLiteral("1") << QStringLiteral("20") << QStringLiteral("50")
                                                << QStringLiteral("rs485:after before:1 after:20 break:50") << QString();
        QTest::newRow("a delay past the driver's bound") << true << 0 << QStringLiteral("200") << QString() << QString() << QString()
            << QStringLiteral("ｼﾘｱﾙのｵﾌﾟｼｮﾝ \"before:200\" は rs485:send/after before:0-100 after:0-100 break:1-10000 の形ではありません。");
    }
    void serialRs485FieldsWriteTheOptionsSlot()
    {
        QFETCH(bool, on);
        QFETCH(int, rts);
        QFETCH(QString, before);
        QFETCH(QString, after);
        QFETCH(QString, breakMs);
        QFETCH(QString, options);
        QFETCH(QString, refusal);
        ScriptedPrompts prompts;
        CSerialSettingDlg dialog;
        dialog.m_texts = {QStringLiteral("/dev/ttyS9")};
        QTimer::singleShot(0, &dialog, [&] {
            static_cast<QCheckBox *>(dialog.GetDlgItem(CSerialSettingDlg::IDC_RS485))->setChecked(on);
            static_cast<QComboBox *>(dialog.GetDlgItem(CSerialSettingDlg::IDC_RS485_RTS))->setCurrentIndex(rts);
            static_cast<QLineEdit *>(dialog.GetDlgItem(CSerialSettingDlg::IDC_RS485_BEFORE))->setText(before);
            static_cast<QLineEdit *>(dialog.GetDlgItem(CSerialSettingDlg::IDC_RS485_AFTER))->setText(after);
            static_cast<QLineEdit *>(dialog.GetDlgItem(CSerialSettingDlg::IDC_BREAK_MS))->setText(breakMs);
            static_cast<QPushButton *>(dialog.GetDlgItem(IDOK))->click();
            if (dialog.isVisible())
                static_cast<QPushButton *>(dialog.GetDlgItem(IDCANCEL))->click();
        });
        QCOMPARE(dialog.DoModal(), refusal.isEmpty() ? IDOK : IDCANCEL);
        QCOMPARE(prompts.MessageTexts(), refusal.isEmpty() ? QStringList() : QStringList{refusal});
        if (refusal.isEmpty())
            QCOMPARE(dialog.m_texts.value(6), options);
    }

    // The device list follows a tree that changes while the dialog is open; a typed device stays.
    void serialDeviceListFollowsTheDevicesAndKeepsATypedOne()
    {
        QTemporaryDir root;
        const auto plug = [&root](const QString &name) {
            QDir().mkpath(root.filePath(QStringLiteral("sys/class/tty/") + name + QStringLiteral("/device")));
            QDir().mkpath(root.filePath(QStringLiteral("dev")));
            QFile file(root.filePath(QStringLiteral("dev/") + name));
            QVERIFY(file.open(QIODevice::WriteOnly));
        };
        CSerialSettingDlg dialog;
        dialog.SetDeviceRoot(root.path());
        auto *devices = static_cast<QComboBox *>(dialog.GetDlgItem(CSerialSettingDlg::IDC_DEVICE));
        QCOMPARE(devices->count(), 0);
        devices->setEditText(QStringLiteral("/dev/ttyUSB7"));
        plug(QStringLiteral("ttyACM0"));
        dialog.show();
        QTRY_COMPARE(devices->count(), 1);  // by the dialog's own timer
        QCOMPARE(devices->itemText(0), root.filePath(QStringLiteral("dev/ttyACM0")));
        QCOMPARE(devices->currentText(), QStringLiteral("/dev/ttyUSB7"));
        devices->setCurrentIndex(0);
        plug(QStringLiteral("ttyACM1"));
        static_cast<QPushButton *>(dialog.GetDlgItem(CSerialSettingDlg::IDC_RESCAN))->click();
        QCOMPARE(devices->count(), 2);
        QCOMPARE(devices->currentIndex(), 0);  // the chosen one stays chosen
        QFile::remove(root.filePath(QStringLiteral("dev/ttyACM0")));
        dialog.Rescan();
        QCOMPARE(devices->count(), 1);
        QCOMPARE(devices->currentText(), root.filePath(QStringLiteral("dev/ttyACM0")));  // kept, though gone
    }

    void typeRadioButtonsFormOneGroup()
    {
        CSocketTypeDlg dialog;
        dialog.m_nType = TYPE_UDP;
        RunWith(dialog, IDOK, [&] {
            Radio(dialog, IDC_TYPE_TCP_SERVER)->click();
            Radio(dialog, IDC_TYPE_TCP_CLIENT)->click();
        });
        QVERIFY(!Radio(dialog, IDC_TYPE_UDP)->isChecked());
        QVERIFY(!Radio(dialog, IDC_TYPE_TCP_SERVER)->isChecked());
        QCOMPARE(dialog.m_nType, TYPE_TCP_CLIENT);
        QCOMPARE(Radio(dialog, IDC_TYPE_TCP_SERVER)->text(), QStringLiteral("TCP/IP (ｻｰﾊﾞｰ)(&S)"));
    }

    void typeDialogOpensOnTheCheckedTypeAndTakesMnemonics_data()
    {
        QTest::addColumn<int>("initial");
        QTest::addColumn<int>("key");  // with Alt
        QTest::addColumn<int>("chosen");
        QTest::newRow("UDP, Alt+C") << int(TYPE_UDP) << int(Qt::Key_C) << int(TYPE_TCP_CLIENT);
        QTest::newRow("TCP client, Alt+S") << int(TYPE_TCP_CLIENT) << int(Qt::Key_S) << int(TYPE_TCP_SERVER);
        QTest::newRow("TCP server, Alt+R") << int(TYPE_TCP_SERVER) << int(Qt::Key_R) << int(TYPE_SERIAL);
        QTest::newRow("serial, Alt+U") << int(TYPE_SERIAL) << int(Qt::Key_U) << int(TYPE_UDP);
    }
    void typeDialogOpensOnTheCheckedTypeAndTakesMnemonics()
    {
        QFETCH(int, initial);
        QFETCH(int, key);
        QFETCH(int, chosen);
        const int ids[] = {IDC_TYPE_UDP, IDC_TYPE_TCP_SERVER, IDC_TYPE_TCP_CLIENT, IDC_TYPE_SERIAL};
        CSocketTypeDlg dialog;
        dialog.m_nType = initial;
        QWidget *focused = nullptr;
        RunWith(dialog, IDOK, [&] {
            QVERIFY(QTest::qWaitForWindowActive(&dialog));
            focused = dialog.focusWidget();
            QTest::keyClick(&dialog, Qt::Key(key), Qt::AltModifier);
            QTRY_VERIFY(Radio(dialog, ids[chosen])->isChecked());  // a mnemonic clicks as the mouse does
        });
        QCOMPARE(focused, Radio(dialog, ids[initial]));
        QCOMPARE(dialog.m_nType, chosen);
        // Every label fits its button.
        for (int id : ids)
            QVERIFY2(Radio(dialog, id)->sizeHint().width() <= Radio(dialog, id)->width(), qPrintable(Radio(dialog, id)->text()));
    }

    void settingsDialogTabsInReadingOrder_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QList<int>>("order");
        QTest::newRow("UDP") << int(TYPE_UDP)
                             << QList<int>{IDC_SETTING_VALUE1, IDC_SETTING_VALUE2, IDC_SETTING_VALUE3,
                                           CSocketSettingDlg::IDC_MULTICAST_INTERFACE, CSocketSettingDlg::IDC_MULTICAST_TTL,
                                           CSocketSettingDlg::IDC_MULTICAST_LOOP, CSocketSettingDlg::IDC_SHOW_SENDER, IDOK, IDCANCEL};
        QTest::newRow("TCP server") << int(TYPE_TCP_SERVER)
                                    << QList<int>{IDC_SETTING_VALUE1, CSocketSettingDlg::IDC_MANY_CLIENTS,
                                                  CSocketSettingDlg::IDC_CLIENT_LIMIT, CSocketSettingDlg::IDC_TLS, IDOK, IDCANCEL};
        QTest::newRow("TCP client") << int(TYPE_TCP_CLIENT)
                                    << QList<int>{IDC_SETTING_VALUE1, IDC_SETTING_VALUE2, IDC_SETTING_VALUE3,
                                                  CSocketSettingDlg::IDC_RECONNECT, CSocketSettingDlg::IDC_TLS, IDOK, IDCANCEL};
    }
    void settingsDialogTabsInReadingOrder()
    {
        QFETCH(int, type);
        QFETCH(QList<int>, order);
        CSocketSettingDlg dialog;
        QList<int> chain;
        QList<bool> limitEnabled;
        RunWith(dialog, IDCANCEL, [&] {
            QWidget *first = dialog.GetDlgItem(IDC_SETTING_VALUE1);
            QWidget *widget = first;
            do {
                for (int id : order) {
                    if (dialog.GetDlgItem(id) == widget && widget->isVisible())
                        chain << id;
                }
                widget = widget->nextInFocusChain();
            } while (widget != first);
            // 最大ｸﾗｲｱﾝﾄ数 counts only while many clients are accepted.
            if (QWidget *limit = dialog.GetDlgItem(CSocketSettingDlg::IDC_CLIENT_LIMIT)) {
                limitEnabled << limit->isEnabled();
                static_cast<QCheckBox *>(dialog.GetDlgItem(CSocketSettingDlg::IDC_MANY_CLIENTS))->click();
                limitEnabled << limit->isEnabled();
            }
        }, type);
        QCOMPARE(chain, order);
        QCOMPARE(limitEnabled, type == TYPE_TCP_SERVER ? (QList<bool>{false, true}) : QList<bool>{});
    }

    void settingsDialogLabelsFollowTheType_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QStringList>("labels");
        QTest::addColumn<int>("rows");
        QTest::newRow("UDP") << int(TYPE_UDP)
                             << QStringList{QStringLiteral("接続先ｱﾄﾞﾚｽ"), QStringLiteral("接続先ﾎﾟｰﾄ"), QStringLiteral("ﾎﾟｰﾄ")} << 3;
        QTest::newRow("TCP server") << int(TYPE_TCP_SERVER) << QStringList{QStringLiteral("ﾎﾟｰﾄ"), QString(), QString()} << 1;
        QTest::newRow("TCP client") << int(TYPE_TCP_CLIENT)
                                    << QStringList{QStringLiteral("ｻｰﾊﾞｰ ｱﾄﾞﾚｽ"), QStringLiteral("ｻｰﾊﾞｰ ﾎﾟｰﾄ"),
                                                   QStringLiteral("ｸﾗｲｱﾝﾄﾎﾟｰﾄ (0)")}
                                    << 3;
    }
    void settingsDialogLabelsFollowTheType()
    {
        QFETCH(int, type);
        QFETCH(QStringList, labels);
        QFETCH(int, rows);
        CSocketSettingDlg dialog;
        dialog.m_strValue1 = QStringLiteral("one");
        dialog.m_strValue2 = QStringLiteral("two");
        dialog.m_strValue3 = QStringLiteral("three");
        QStringList shownLabels;
        int shownEdits = 0;
        QStringList shownValues;
        RunWith(dialog, IDCANCEL, [&] {
            for (int id : {IDC_SETTING_LABEL1, IDC_SETTING_LABEL2, IDC_SETTING_LABEL3})
                shownLabels << static_cast<QLabel *>(dialog.GetDlgItem(id))->text();
            for (int id : {IDC_SETTING_VALUE1, IDC_SETTING_VALUE2, IDC_SETTING_VALUE3}) {
                auto *edit = static_cast<QLineEdit *>(dialog.GetDlgItem(id));
                shownEdits += edit->isVisible() ? 1 : 0;
                shownValues << edit->text();
            }
        }, type);
        QCOMPARE(dialog.m_nType, type);
        QCOMPARE(shownLabels, labels);
        QCOMPARE(shownEdits, rows);
        QCOMPARE(shownValues, (QStringList{QStringLiteral("one"), QStringLiteral("two"), QStringLiteral("three")}));
        QCOMPARE(dialog.m_strValue2, QStringLiteral("two"));
    }

    void settingsDialogPassesTextsThroughUnchecked()
    {
        CSocketSettingDlg dialog;
        dialog.m_strValue1 = QStringLiteral("host.invalid");
        dialog.m_strOptions = QStringLiteral("ttl:3");
        const int answer = RunWith(dialog, IDOK, [&] {
            static_cast<QCheckBox *>(dialog.GetDlgItem(CSocketSettingDlg::IDC_SHOW_SENDER))->setChecked(true);
            static_cast<QLineEdit *>(dialog.GetDlgItem(IDC_SETTING_VALUE2))->setText(QStringLiteral("abc"));
            static_cast<QLineEdit *>(dialog.GetDlgItem(IDC_SETTING_VALUE3))->setText(QStringLiteral(" 12x "));
        }, TYPE_UDP);
        QCOMPARE(answer, IDOK);
        QCOMPARE(dialog.m_strValue1, QStringLiteral("host.invalid"));
        QCOMPARE(dialog.m_strValue2, QStringLiteral("abc"));
        QCOMPARE(dialog.m_strValue3, QStringLiteral(" 12x "));
        QCOMPARE(dialog.m_strOptions, QStringLiteral("ttl:3 from:1"));
    }

    void settingsDialogCancelKeepsTheCallersTexts()
    {
        CSocketSettingDlg dialog;
        dialog.m_strValue1 = QStringLiteral("5000");
        const int answer = RunWith(dialog, IDCANCEL, [&] {
            static_cast<QLineEdit *>(dialog.GetDlgItem(IDC_SETTING_VALUE1))->setText(QStringLiteral("6000"));
        }, TYPE_TCP_SERVER);
        QCOMPARE(answer, IDCANCEL);
        QCOMPARE(dialog.m_strValue1, QStringLiteral("5000"));
    }

    void dialogsAreLaidOutInDialogUnits()
    {
        CSocketSettingDlg dialog;
        const QFont font = DialogFont(QString::fromUtf8(kFaceMsPGothic), 9);
        QCOMPARE(dialog.size(), DluToPixels(font, 125, 75));
        QCOMPARE(dialog.GetDlgItem(IDOK)->geometry(), DluToPixels(font, 10, 56, 50, 14));
        QCOMPARE(dialog.GetDlgItem(IDC_SETTING_VALUE3)->geometry(), DluToPixels(font, 70, 37, 48, 12));
        QVERIFY(static_cast<QPushButton *>(dialog.GetDlgItem(IDOK))->isDefault());
    }

    void aboutBoxShowsNameVersionAndIcon()
    {
        CAboutDlg dialog;
        QCOMPARE(RunWith(dialog, IDOK, nullptr), IDOK);
        QCOMPARE(dialog.windowTitle(), QStringLiteral("ﾊﾞｰｼﾞｮﾝ情報 (Quillnet)"));
        QCOMPARE(static_cast<QLabel *>(dialog.GetDlgItem(IDC_ABOUT_TEXT))->text(), QStringLiteral("Quillnet ver.3.01"));
        QVERIFY(!static_cast<QLabel *>(dialog.GetDlgItem(IDC_ABOUT_ICON))->pixmap().isNull());
    }
};

QTEST_MAIN(TestDialogs)
#include "tst_dialogs.moc"
