// The TLS client's handshake over whatever a peer sends: records cut at any point, answered by the
// program's context, and the program's words for the outcome (failure texts, the summary and the
// certificate lines); the settings texts read into TLS settings along the way.
#include "fuzzsupport.h"
#include "net/ctlscontext.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <openssl/ssl.h>

#include <memory>

namespace {

std::unique_ptr<CTlsContext> Context(bool verify)
{
    QString failure;
    auto context = CTlsContext::Make(CTlsSettings::ForClient({QStringLiteral("1"), verify ? QString() : QStringLiteral("none"),
                                                              QString(), QString(), QStringLiteral("h2,qn")}),
                                     &failure);
    Require(context != nullptr, "no client context");
    return context;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static const std::unique_ptr<CTlsContext> verifying = Context(true);
    static const std::unique_ptr<CTlsContext> trusting = Context(false);
    FuzzedDataProvider input(data, size);
    const bool verify = input.ConsumeBool();
    // Settings texts as a file could hold them: nothing they say may break the reading.
    const QStringList texts = QString::fromUtf8(input.ConsumeRandomLengthString(64)).split(QLatin1Char('\n'));
    CTlsSettings::ForClient(texts);
    CTlsSettings::ForServer(texts);

    SSL *ssl = (verify ? verifying : trusting)->NewConnection();
    BIO *in = BIO_new(BIO_s_mem());
    BIO *out = BIO_new(BIO_s_mem());
    BIO_set_mem_eof_return(in, -1);
    SSL_set_bio(ssl, in, out);
    SSL_set_connect_state(ssl);
    SSL_set_tlsext_host_name(ssl, "localhost");
    int result = SSL_do_handshake(ssl);
    while (result != 1 && input.remaining_bytes() > 0) {
        const std::string piece = input.ConsumeBytesAsString(input.ConsumeIntegralInRange<std::size_t>(1, 4096));
        BIO_write(in, piece.data(), int(piece.size()));
        (void)BIO_reset(out);  // what the client answers goes nowhere
        result = SSL_do_handshake(ssl);
        if (result != 1 && SSL_get_error(ssl, result) != SSL_ERROR_WANT_READ)
            break;
    }
    if (result == 1) {
        Require(!CTlsContext::Summary(ssl).isEmpty(), "no summary of an established connection");
        X509 *peer = SSL_get1_peer_certificate(ssl);
        Require(CTlsContext::CertificateLines(peer).size() >= 1, "no certificate lines");
        X509_free(peer);
    } else {
        Require(!CTlsContext::HandshakeFailureText(ssl).isEmpty(), "a failure without words");
    }
    SSL_free(ssl);
    return 0;
}
