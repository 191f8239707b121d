#pragma once
// Runs testserver.py for one test: a child process serving on loopback ports
// the system picked, ended when the object goes.

#include <string>
#include <string_view>
#include <sys/types.h>

namespace nettest {

class LoopbackServer final {
  public:
    enum class Tls { Off, On };
    explicit LoopbackServer(Tls tls = Tls::Off);
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    int Port() const { return port_; }
    std::string Url(std::string_view path) const;
    std::string SecureUrl(std::string_view path) const;
    // The self-signed certificate of the TLS port.
    std::string CertificateFile() const { return workDir_ + "/cert.pem"; }

  private:
    std::string workDir_;
    pid_t pid_ = -1;
    int port_ = 0;
    int tlsPort_ = 0;
};

} // namespace nettest
