#include "net/ctlscertmaker.h"

#include "net/ctlscontext.h"
#include "platform/csocketaddress.h"

#include <QFile>
#include <QRegularExpression>

#include <openssl/bn.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509v3.h>

#include <memory>

namespace {

template <class T, void (*Free)(T *)>
struct Freer
{
    void operator()(T *p) const { Free(p); }
};
using Key = std::unique_ptr<EVP_PKEY, Freer<EVP_PKEY, EVP_PKEY_free>>;
using Cert = std::unique_ptr<X509, Freer<X509, X509_free>>;
using File = std::unique_ptr<BIO, Freer<BIO, BIO_free_all>>;

bool AddExtension(X509 *cert, int nid, const QByteArray &value)
{
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, cert, cert, nullptr, nullptr, 0);
    X509_EXTENSION *extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value.constData());
    if (!extension)
        return false;
    const bool added = X509_add_ext(cert, extension, -1) == 1;
    X509_EXTENSION_free(extension);
    return added;
}

File OpenForWriting(const QString &path, bool secret)
{
    QFile::remove(path);
    QFile file(path);
    // Created with the key's permissions before a byte of it is written.
    if (!file.open(QIODevice::WriteOnly))
        return nullptr;
    if (secret)
        file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    file.close();
    return File(BIO_new_file(QFile::encodeName(path).constData(), "w"));
}

}  // namespace

QStringList CTlsCertMaker::Names(const QString &text)
{
    return text.split(QRegularExpression(QStringLiteral("[,\\s]+")), Qt::SkipEmptyParts);
}

bool CTlsCertMaker::Make(const QStringList &names, const QString &certPath, const QString &keyPath, QString *error)
{
    if (names.isEmpty()) {
        *error = QStringLiteral("名前を入力してください");
        return false;
    }
    QStringList alternatives;
    for (const QString &name : names) {
        CSocketAddress address;
        alternatives.append((CSocketAddress::FromNumbers(name, 0, &address) ? QStringLiteral("IP:") : QStringLiteral("DNS:")) + name);
    }
    const auto failed = [error](const QString &what) {
        *error = what + QStringLiteral(": ") + CTlsContext::TakeErrors();
        return false;
    };
    const Key key(EVP_EC_gen("P-256"));
    Cert cert(X509_new());
    if (!key || !cert)
        return failed(QStringLiteral("鍵を作成できません"));
    X509_set_version(cert.get(), 2);
    unsigned char serial[16];
    RAND_bytes(serial, sizeof serial);
    serial[0] &= 0x7F;
    BIGNUM *number = BN_bin2bn(serial, sizeof serial, nullptr);
    BN_to_ASN1_INTEGER(number, X509_get_serialNumber(cert.get()));
    BN_free(number);
    X509_gmtime_adj(X509_getm_notBefore(cert.get()), 0);
    X509_gmtime_adj(X509_getm_notAfter(cert.get()), long(kValidDays) * 24 * 60 * 60);
    X509_set_pubkey(cert.get(), key.get());
    X509_NAME *subject = X509_get_subject_name(cert.get());
    X509_NAME_add_entry_by_txt(subject, "CN", MBSTRING_UTF8, reinterpret_cast<const unsigned char *>(names.first().toUtf8().constData()), -1, -1, 0);
    X509_set_issuer_name(cert.get(), subject);
    if (!AddExtension(cert.get(), NID_subject_alt_name, alternatives.join(QLatin1Char(',')).toUtf8()) ||
        !AddExtension(cert.get(), NID_basic_constraints, "critical,CA:FALSE") ||
        !AddExtension(cert.get(), NID_ext_key_usage, "serverAuth,clientAuth") ||
        !AddExtension(cert.get(), NID_subject_key_identifier, "hash"))
        return failed(QStringLiteral("名前を証明書に入れられません"));
    if (X509_sign(cert.get(), key.get(), EVP_sha256()) <= 0)
        return failed(QStringLiteral("署名できません"));
    const File keyFile = OpenForWriting(keyPath, true);
    if (!keyFile || PEM_write_bio_PrivateKey(keyFile.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr) != 1)
        return failed(QStringLiteral("秘密鍵ﾌｧｲﾙに書けません (") + keyPath + QLatin1Char(')'));
    const File certFile = OpenForWriting(certPath, false);
    if (!certFile || PEM_write_bio_X509(certFile.get(), cert.get()) != 1)
        return failed(QStringLiteral("証明書ﾌｧｲﾙに書けません (") + certPath + QLatin1Char(')'));
    return true;
}
