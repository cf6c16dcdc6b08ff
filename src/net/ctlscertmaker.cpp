#include "net/ctlscertmaker.h"

#include "net/ctlscontext.h"
#include "platform/csocketaddress.h"
#include "platform/fileerrortext.h"

#include <QFile>
#include <QRegularExpression>

#include <openssl/bn.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509v3.h>

#include <memory>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

// The PEM text `write` puts into a memory buffer.
template <class Writer>
QByteArray Pem(Writer write)
{
    const File memory(BIO_new(BIO_s_mem()));
    if (!memory || write(memory.get()) != 1)
        return {};
    char *data = nullptr;
    const long length = BIO_get_mem_data(memory.get(), &data);
    return QByteArray(data, length);
}

bool WriteAll(int fd, const QByteArray &bytes)
{
    for (qsizetype at = 0; at < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.constData() + at, size_t(bytes.size() - at));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        at += n;
    }
    return true;
}

// Writes `bytes` to a file created new beside `path` with `mode` (never wider for a moment, never
// through a link), then renames it over `path`: a link the user chose is replaced by the file,
// never followed, and an old file stays whole until the new one is complete.
bool WriteNewFile(const QString &path, const QByteArray &bytes, mode_t mode, int *code)
{
    const QByteArray name = QFile::encodeName(path);
    const qsizetype slash = name.lastIndexOf('/');
    const QByteArray folder = slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : name.left(slash);
    struct stat old = {};
    if (::lstat(name.constData(), &old) == 0 && S_ISDIR(old.st_mode)) {
        *code = EISDIR;
        return false;
    }
    QByteArray temp;
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
        temp = folder + "/." + name.mid(slash + 1) + '.' + QByteArray::number(::getpid()) + '.' +
               QByteArray::number(attempt) + ".tmp";
        fd = ::open(temp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0) {
        *code = errno;
        return false;
    }
    bool ok = WriteAll(fd, bytes) && ::fsync(fd) == 0;
    int failure = ok ? 0 : errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        failure = errno;
    }
    if (ok && ::rename(temp.constData(), name.constData()) == 0)
        return true;
    *code = failure != 0 ? failure : errno;
    ::unlink(temp.constData());
    return false;
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
    QByteArray keyPem = Pem([&key](BIO *bio) {
        return PEM_write_bio_PrivateKey(bio, key.get(), nullptr, nullptr, 0, nullptr, nullptr);
    });
    const QByteArray certPem = Pem([&cert](BIO *bio) { return PEM_write_bio_X509(bio, cert.get()); });
    if (keyPem.isEmpty() || certPem.isEmpty())
        return failed(QStringLiteral("PEM に変換できません"));
    int code = 0;
    // The key readable by its owner alone from the moment it exists; the certificate as any new file.
    const bool keyWritten = WriteNewFile(keyPath, keyPem, S_IRUSR | S_IWUSR, &code);
    OPENSSL_cleanse(keyPem.data(), size_t(keyPem.size()));
    if (!keyWritten) {
        *error = QStringLiteral("秘密鍵ﾌｧｲﾙに書けません (") + keyPath + QStringLiteral("): ") + FileErrorText(code);
        return false;
    }
    if (!WriteNewFile(certPath, certPem, 0666, &code)) {
        *error = QStringLiteral("証明書ﾌｧｲﾙに書けません (") + certPath + QStringLiteral("): ") + FileErrorText(code);
        return false;
    }
    return true;
}
