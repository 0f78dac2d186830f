#include "tls_diagnosis.h"

#include <memory>

#include <arpa/inet.h>
#include <netdb.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

namespace iox::mqtt {

namespace {

struct Fd {
    int fd = -1;
    ~Fd()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

// A TCP connection to the first address of host that answers, with reads and writes bounded.
int connectTo(const std::string& host, int port)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0)
        return -1;
    int fd = -1;
    for (const addrinfo* at = found; at && fd < 0; at = at->ai_next) {
        fd = ::socket(at->ai_family, at->ai_socktype, at->ai_protocol);
        const timeval bound{3, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &bound, sizeof bound);
        ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &bound, sizeof bound);
        if (fd >= 0 && ::connect(fd, at->ai_addr, at->ai_addrlen) != 0) {
            ::close(fd);
            fd = -1;
        }
    }
    ::freeaddrinfo(found);
    return fd;
}

bool isAddress(const std::string& host)
{
    unsigned char bytes[16];
    return ::inet_pton(AF_INET, host.c_str(), bytes) == 1 || ::inet_pton(AF_INET6, host.c_str(), bytes) == 1;
}

struct Handshake {
    bool done = false;
    long verify = X509_V_OK;
    std::string error;  // the library's own words, when not a verification failure
};

Handshake shakeHands(const std::string& host, int port, const TlsFiles* files)
{
    Handshake result;
    const std::unique_ptr<SSL_CTX, decltype(&SSL_CTX_free)> context(SSL_CTX_new(TLS_client_method()), SSL_CTX_free);
    if (files) {
        SSL_CTX_set_verify(context.get(), SSL_VERIFY_PEER, nullptr);
        if (SSL_CTX_load_verify_locations(context.get(), files->ca.c_str(), nullptr) != 1 ||
            (!files->cert.empty() &&
             (SSL_CTX_use_certificate_chain_file(context.get(), files->cert.c_str()) != 1 ||
              SSL_CTX_use_PrivateKey_file(context.get(), files->key.c_str(), SSL_FILETYPE_PEM) != 1))) {
            const char* reason = ERR_reason_error_string(ERR_get_error());
            result.error = reason ? reason : "cannot read the certificate files";
            return result;
        }
    }
    Fd socket{connectTo(host, port)};
    if (socket.fd < 0) {
        result.error = "cannot connect";
        return result;
    }
    const std::unique_ptr<SSL, decltype(&SSL_free)> ssl(SSL_new(context.get()), SSL_free);
    SSL_set_fd(ssl.get(), socket.fd);
    X509_VERIFY_PARAM* param = SSL_get0_param(ssl.get());
    if (isAddress(host)) {
        X509_VERIFY_PARAM_set1_ip_asc(param, host.c_str());
    } else {
        SSL_set_tlsext_host_name(ssl.get(), host.c_str());
        X509_VERIFY_PARAM_set1_host(param, host.c_str(), 0);
    }
    ERR_clear_error();
    result.done = SSL_connect(ssl.get()) == 1;
    result.verify = SSL_get_verify_result(ssl.get());
    if (!result.done) {
        const char* reason = ERR_reason_error_string(ERR_get_error());
        result.error = reason ? reason : "the connection was closed during the handshake";
    }
    return result;
}

}  // namespace

std::string tlsFailure(const std::string& host, int port, const TlsFiles& files)
{
    const Handshake handshake = shakeHands(host, port, &files);
    switch (handshake.verify) {
    case X509_V_OK:
        break;
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
        return "unknown CA: the broker's certificate is not signed by the CA in " + files.ca;
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH:
        return "name mismatch: the broker's certificate is not made out to " + host;
    case X509_V_ERR_CERT_HAS_EXPIRED:
        return "expired: the broker's certificate has expired";
    case X509_V_ERR_CERT_NOT_YET_VALID:
        return "not yet valid: the broker's certificate is not valid yet (is the clock right?)";
    default:
        return X509_verify_cert_error_string(handshake.verify);
    }
    if (handshake.done)
        return "the handshake went through when tried again";
    if (!speaksTls(host, port))
        return "the broker does not speak TLS on port " + std::to_string(port);
    return handshake.error;
}

bool speaksTls(const std::string& host, int port) { return shakeHands(host, port, nullptr).done; }

}  // namespace iox::mqtt
