#pragma once
// Why a TLS connection to the broker failed, told in the words a user can act on. The MQTT
// library only says that the handshake failed; these helpers shake hands again on their own
// connection, with the same files, to find out why.

#include <string>

namespace iox::mqtt {

struct TlsFiles {
    std::string ca, cert, key;  // cert and key may be empty
};

// "unknown CA: ...", "name mismatch: ...", "expired: ..." or what the handshake reported.
std::string tlsFailure(const std::string& host, int port, const TlsFiles& files);

// Whether a TLS server answers at host:port (for a plain connection that a port dropped).
bool speaksTls(const std::string& host, int port);

}  // namespace iox::mqtt
