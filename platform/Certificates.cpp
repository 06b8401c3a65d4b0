#include "platform/Certificates.h"

#include <arpa/inet.h>
#include <curl/curl.h>
#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <sys/socket.h>
#include <sys/time.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <memory>

#include "platform/TextCodec.h"

namespace ostrel::certificates {

namespace {

constexpr const char* kSource = "Certificates";
// A server that answered a TLS handshake a moment ago answers a second one quickly, or not at all.
constexpr int kTimeoutSeconds = 15;

template <typename T, void (*Free)(T*)>
struct Deleter {
    void operator()(T* p) const noexcept { Free(p); }
};
using Context = std::unique_ptr<SSL_CTX, Deleter<SSL_CTX, SSL_CTX_free>>;
using Bio = std::unique_ptr<BIO, Deleter<BIO, BIO_free_all>>;
using X509Ptr = std::unique_ptr<X509, Deleter<X509, X509_free>>;

bool isIpAddress(const std::string& host) {
    unsigned char buffer[16];
    return inet_pton(AF_INET, host.c_str(), buffer) == 1 || inet_pton(AF_INET6, host.c_str(), buffer) == 1;
}

std::string opensslReason() {
    const unsigned long code = ERR_get_error();
    if (code == 0) return "the connection failed";
    char text[256];
    ERR_error_string_n(code, text, sizeof text);
    ERR_clear_error();
    return text;
}

[[noreturn]] void fail(const Endpoint& endpoint, const std::string& what) {
    throw Error(errors::kHttpBase + static_cast<std::int32_t>(CURLE_SSL_CONNECT_ERROR), kSource,
                "The certificate of " + endpoint.key() + " could not be read: " + what);
}

std::string printed(int (*print)(BIO*, const void*), const void* what) {
    Bio memory(BIO_new(BIO_s_mem()));
    if (!memory || print(memory.get(), what) <= 0) return {};
    char* data = nullptr;
    const long size = BIO_get_mem_data(memory.get(), &data);
    return std::string(data, static_cast<std::size_t>(std::max(0L, size)));
}

std::string nameText(const X509_NAME* name) {
    return printed(
        [](BIO* bio, const void* n) {
            return X509_NAME_print_ex(bio, static_cast<const X509_NAME*>(n), 0, XN_FLAG_RFC2253);
        },
        name);
}

std::string timeText(const ASN1_TIME* time) {
    return printed(
        [](BIO* bio, const void* t) { return ASN1_TIME_print(bio, static_cast<const ASN1_TIME*>(t)); }, time);
}

std::string publicKeyPin(X509* certificate) {
    unsigned char* der = nullptr;
    const int length = i2d_X509_PUBKEY(X509_get_X509_PUBKEY(certificate), &der);
    if (length <= 0) return {};
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int digestLength = 0;
    EVP_Digest(der, static_cast<std::size_t>(length), digest, &digestLength, EVP_sha256(), nullptr);
    OPENSSL_free(der);
    std::string base64(4 * ((digestLength + 2) / 3) + 1, '\0');
    const int written = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(base64.data()), digest,
                                        static_cast<int>(digestLength));
    base64.resize(static_cast<std::size_t>(std::max(0, written)));
    return "sha256//" + base64;
}

// A connection whose handshake records whether the system's authorities would accept the certificate for
// this host, without refusing it.
Bio handshake(SSL_CTX* context, const Endpoint& endpoint) {
    Bio bio(BIO_new_ssl_connect(context));
    if (!bio) fail(endpoint, opensslReason());
    SSL* ssl = nullptr;
    BIO_get_ssl(bio.get(), &ssl);
    const bool ip = isIpAddress(endpoint.host);
    if (!ip) SSL_set_tlsext_host_name(ssl, endpoint.host.c_str());
    X509_VERIFY_PARAM* checks = SSL_get0_param(ssl);
    if (ip ? X509_VERIFY_PARAM_set1_ip_asc(checks, endpoint.host.c_str()) != 1
           : X509_VERIFY_PARAM_set1_host(checks, endpoint.host.c_str(), 0) != 1)
        fail(endpoint, opensslReason());
    const std::string address = ip && endpoint.host.find(':') != std::string::npos
                                    ? "[" + endpoint.host + "]:" + std::to_string(endpoint.port)
                                    : endpoint.host + ":" + std::to_string(endpoint.port);
    BIO_set_conn_hostname(bio.get(), address.c_str());
    if (BIO_do_connect(bio.get()) <= 0) fail(endpoint, opensslReason());
    const timeval timeout{kTimeoutSeconds, 0};
    const int socket = static_cast<int>(BIO_get_fd(bio.get(), nullptr));
    setsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    setsockopt(socket, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
    if (BIO_do_handshake(bio.get()) <= 0) fail(endpoint, opensslReason());
    return bio;
}

}  // namespace

std::string Endpoint::key() const {
    const std::string shown = host.find(':') != std::string::npos ? "[" + host + "]" : host;
    return shown + ":" + std::to_string(port);
}

std::optional<Endpoint> httpsEndpoint(std::string_view url) {
    constexpr std::string_view scheme = "https://";
    if (url.size() < scheme.size() ||
        !std::equal(scheme.begin(), scheme.end(), url.begin(),
                    [](char a, char b) { return std::tolower(static_cast<unsigned char>(b)) == a; }))
        return std::nullopt;
    std::string_view authority = url.substr(scheme.size());
    authority = authority.substr(0, authority.find_first_of("/?#"));
    if (const std::size_t at = authority.rfind('@'); at != std::string_view::npos)
        authority = authority.substr(at + 1);
    Endpoint endpoint;
    std::string_view port;
    if (authority.starts_with('[')) {
        const std::size_t close = authority.find(']');
        if (close == std::string_view::npos) return std::nullopt;
        endpoint.host = authority.substr(1, close - 1);
        if (authority.substr(close + 1).starts_with(':')) port = authority.substr(close + 2);
    } else {
        const std::size_t colon = authority.find(':');
        endpoint.host = authority.substr(0, colon);
        if (colon != std::string_view::npos) port = authority.substr(colon + 1);
    }
    if (endpoint.host.empty()) return std::nullopt;
    endpoint.host = text::asciiLower(endpoint.host);
    if (!port.empty()) {
        const auto [end, status] = std::from_chars(port.data(), port.data() + port.size(), endpoint.port);
        if (status != std::errc() || end != port.data() + port.size() || endpoint.port <= 0 ||
            endpoint.port > 65535)
            return std::nullopt;
    }
    return endpoint;
}

Certificate probe(const Endpoint& endpoint) {
    Context context(SSL_CTX_new(TLS_client_method()));
    if (!context) fail(endpoint, opensslReason());
    // The system's authorities, as the requests use them; nothing is refused, only recorded.
    SSL_CTX_set_default_verify_paths(context.get());
    SSL_CTX_set_verify(context.get(), SSL_VERIFY_NONE, nullptr);
    const Bio bio = handshake(context.get(), endpoint);
    SSL* ssl = nullptr;
    BIO_get_ssl(bio.get(), &ssl);
    const X509Ptr certificate(SSL_get1_peer_certificate(ssl));
    if (!certificate) fail(endpoint, "the server sent no certificate");
    Certificate read;
    read.subject = nameText(X509_get_subject_name(certificate.get()));
    read.issuer = nameText(X509_get_issuer_name(certificate.get()));
    read.notBefore = timeText(X509_get0_notBefore(certificate.get()));
    read.notAfter = timeText(X509_get0_notAfter(certificate.get()));
    read.publicKeyPin = publicKeyPin(certificate.get());
    const long verdict = SSL_get_verify_result(ssl);
    if (verdict != X509_V_OK) read.problem = X509_verify_cert_error_string(verdict);
    SSL_shutdown(ssl);
    return read;
}

bool isUntrusted(const Error& error) {
    return error.number() == errors::kHttpBase + static_cast<std::int32_t>(CURLE_PEER_FAILED_VERIFICATION);
}

bool isPinMismatch(const Error& error) {
    return error.number() == errors::kHttpBase + static_cast<std::int32_t>(CURLE_SSL_PINNEDPUBKEYNOTMATCH);
}

}  // namespace ostrel::certificates
