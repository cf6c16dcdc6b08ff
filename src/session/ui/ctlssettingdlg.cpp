#include "session/ui/ctlssettingdlg.h"

#include "net/ctlscertmaker.h"
#include "net/ctlssettings.h"
#include "platform/prompts.h"
#include "platform/qnwin.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

enum Kind { Check, Text, File, Choice };

// One slot's control: its label, and for a choice the items shown ('|' apart) and the texts stored,
// as CTlsSettings writes them.
struct Field
{
    const char16_t *label;
    Kind kind;
    const char16_t *items = nullptr;
    QStringList (*values)() = nullptr;
};

QStringList VerifyTexts()
{
    return {CTlsSettings::VerifyText(CTlsSettings::Verify::SystemStore), CTlsSettings::VerifyText(CTlsSettings::Verify::CaFile),
            CTlsSettings::VerifyText(CTlsSettings::Verify::None)};
}

QStringList ClientCertTexts()
{
    return {CTlsSettings::ClientCertText(CTlsSettings::ClientCert::None), CTlsSettings::ClientCertText(CTlsSettings::ClientCert::Request),
            CTlsSettings::ClientCertText(CTlsSettings::ClientCert::Require)};
}

const Field kClientFields[] = {
    {u"TLS を使用する", Check},
    {u"ｻｰﾊﾞｰ検証", Choice, u"ｼｽﾃﾑのCAｽﾄｱ|CAﾌｧｲﾙ|検証しない", &VerifyTexts},
    {u"CAﾌｧｲﾙ", File},
    {u"ｻｰﾊﾞｰ名 (SNI)", Text},
    {u"ALPN", Text},
    {u"ｸﾗｲｱﾝﾄ証明書", File},
    {u"秘密鍵", File},
    {u"ﾊﾞｰｼﾞｮﾝ", Choice, u"TLS1.2/1.3|TLS1.2|TLS1.3", &CTlsSettings::VersionTexts},
};
const Field kServerFields[] = {
    {u"TLS を使用する", Check},
    {u"証明書", File},
    {u"秘密鍵", File},
    {u"ｸﾗｲｱﾝﾄ証明書", Choice, u"要求しない|要求する|必須", &ClientCertTexts},
    {u"CAﾌｧｲﾙ", File},
    {u"ALPN", Text},
    {u"ﾊﾞｰｼﾞｮﾝ", Choice, u"TLS1.2/1.3|TLS1.2|TLS1.3", &CTlsSettings::VersionTexts},
};

QStringList Parts(const char16_t *text)
{
    return QString::fromUtf16(text).split(QLatin1Char('|'));
}

constexpr int kRowStep = 16;

}  // namespace

CTlsSettingDlg::CTlsSettingDlg(bool server, QWidget *parent)
    : CQnDialog(QStringLiteral("TLS設定"), 230, server ? 170 : 150, parent), m_bServer(server)
{
    const Field *fields = server ? kServerFields : kClientFields;
    const int count = server ? int(std::size(kServerFields)) : int(std::size(kClientFields));
    for (int i = 0; i < count; ++i) {
        const Field &field = fields[i];
        const int y = 7 + kRowStep * i;
        QWidget *control = nullptr;
        if (field.kind == Check) {
            control = AddItem(IDC_TLS_FIELD + i, new QCheckBox(QString::fromUtf16(field.label)), 7, y, 150, 12);
        } else {
            AddItem(-1, new QLabel(QString::fromUtf16(field.label)), 7, y, 60, 12)->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
            if (field.kind == Choice) {
                auto *combo = AddItem(IDC_TLS_FIELD + i, new QComboBox, 70, y, 90, 12);
                combo->addItems(Parts(field.items));
                control = combo;
            } else {
                control = AddItem(IDC_TLS_FIELD + i, new QLineEdit, 70, y, field.kind == File ? 135 : 153, 12);
            }
        }
        if (field.kind == File) {
            QPushButton *browse = AddButton(IDC_TLS_BROWSE + i, QStringLiteral("..."), 208, y, 15, 12, false);
            connect(browse, &QPushButton::clicked, this, [this, i] { Browse(i); });
        }
        m_fields.push_back(control);
    }
    const int bottom = 7 + kRowStep * count;
    if (server) {
        AddItem(-1, new QLabel(QStringLiteral("自己署名の名前")), 7, bottom, 60, 12)->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        m_pNames = AddItem(IDC_CERT_NAMES, new QLineEdit(QStringLiteral("localhost, 127.0.0.1")), 70, bottom, 90, 12);
        QPushButton *make = AddButton(IDC_MAKE_CERT, QStringLiteral("証明書を作成..."), 163, bottom, 60, 12, false);
        connect(make, &QPushButton::clicked, this, &CTlsSettingDlg::MakeCertificate);
    }
    const int buttons = (server ? bottom + kRowStep : bottom) + 4;
    AddButton(IDOK, QStringLiteral("OK"), 118, buttons, 50, 14, true);
    AddButton(IDCANCEL, QStringLiteral("ｷｬﾝｾﾙ"), 173, buttons, 50, 14, false);
    SetTemplateSize(230, buttons + 21);
}

void CTlsSettingDlg::DoDataExchange(bool save)
{
    const Field *fields = m_bServer ? kServerFields : kClientFields;
    if (save)
        m_texts.clear();
    for (int i = 0; i < int(m_fields.size()); ++i) {
        const Field &field = fields[i];
        const QString text = m_texts.value(i);
        if (auto *check = qobject_cast<QCheckBox *>(m_fields[i])) {
            if (save)
                m_texts.append(check->isChecked() ? QStringLiteral("1") : QString());
            else
                check->setChecked(text.trimmed() == QLatin1String("1"));
        } else if (auto *combo = qobject_cast<QComboBox *>(m_fields[i])) {
            const QStringList values = field.values();
            if (save)
                m_texts.append(values.value(combo->currentIndex()));
            else
                combo->setCurrentIndex(qMax(0, int(values.indexOf(text.trimmed()))));  // unknown: the default
        } else if (auto *edit = qobject_cast<QLineEdit *>(m_fields[i])) {
            if (save)
                m_texts.append(edit->text());
            else
                edit->setText(text);
        }
    }
}

void CTlsSettingDlg::Browse(int field)
{
    auto *edit = qobject_cast<QLineEdit *>(m_fields[size_t(field)]);
    Prompts::FileRequest request;
    request.filter = QStringLiteral("PEM ﾌｧｲﾙ|*.pem;*.crt;*.key|すべてのﾌｧｲﾙ|*.*||");
    request.initialName = edit->text();
    request.kind = QStringLiteral("pem");
    const QString path = Prompts::AskFileName(this, request);
    if (!path.isEmpty())
        edit->setText(path);
}

void CTlsSettingDlg::MakeCertificate()
{
    Prompts::FileRequest request;
    request.open = false;
    request.filter = QStringLiteral("PEM ﾌｧｲﾙ|*.pem||");
    request.defaultExtension = QStringLiteral("pem");
    request.initialName = QStringLiteral("quillnet-cert.pem");
    request.overwritePrompt = true;
    request.kind = QStringLiteral("pem");
    const QString certPath = Prompts::AskFileName(this, request);
    if (certPath.isEmpty())
        return;
    const QFileInfo cert(certPath);
    const QString keyPath = cert.path() + QLatin1Char('/') + cert.completeBaseName() + QStringLiteral(".key");
    QString error;
    if (!CTlsCertMaker::Make(CTlsCertMaker::Names(m_pNames->text()), certPath, keyPath, &error)) {
        Prompts::Instance().MessageBox(this, error + QStringLiteral("。"), Prompts::AppTitle(), Prompts::Ok, Prompts::Exclamation);
        return;
    }
    // The new files go into the certificate and key fields; the key stays in its file.
    qobject_cast<QLineEdit *>(m_fields[1])->setText(certPath);
    qobject_cast<QLineEdit *>(m_fields[2])->setText(keyPath);
    Prompts::Instance().MessageBox(this, QStringLiteral("証明書 %1 と秘密鍵 %2 を作成しました。").arg(certPath, keyPath),
                                   Prompts::AppTitle(), Prompts::Ok, Prompts::Information);
}
