// HTTPS end to end on loopback. The product trusts only the system store, so the test gives
// a child process a store of its own instead: a private mount namespace in which a directory
// holding a test CA lies over /etc/ssl/certs. The server is a small Python TLS server that
// this test starts and ends by its PID.
#include <gtest/gtest.h>
#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "net/http/echo_rules.h"
#include "net/http/http_client.h"
#include "os/clock.h"
#include "os/endpoint.h"

extern char** environ;

namespace talvo {
namespace {

namespace fs = std::filesystem;

constexpr int kCannotIsolate = 77;

const char kServerScript[] = R"PY(
import os, socket, ssl, sys
cert, key, portfile, logfile = sys.argv[1:5]
bodies = {'/ip': b'8.8.8.8\n', '/v6': b'2001:4860:4860::8888\n', '/private': b'10.1.1.1\n'}
context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
context.load_cert_chain(cert, key)
listener = socket.socket()
listener.bind(('127.0.0.1', 0))
listener.listen(8)
with open(portfile + '.tmp', 'w') as f:
    f.write(str(listener.getsockname()[1]))
os.rename(portfile + '.tmp', portfile)
while True:
    client, _ = listener.accept()
    client.settimeout(5)
    try:
        tls = context.wrap_socket(client, server_side=True)
        data = b''
        while b'\r\n\r\n' not in data:
            piece = tls.recv(4096)
            if not piece:
                break
            data += piece
        head = data.split(b'\r\n\r\n')[0]
        with open(logfile, 'ab') as log:
            log.write(head + b'\r\n\r\n')
        path = head.split(b'\r\n')[0].split(b' ')[1].decode()
        body = bodies.get(path)
        if body is None:
            tls.sendall(b'HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n')
        else:
            tls.sendall(b'HTTP/1.1 200 OK\r\nContent-Length: %d\r\nConnection: close\r\n\r\n'
                        % len(body) + body)
        tls.close()
    except Exception:
        client.close()
)PY";

bool Run(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return false;
  int status = 0;
  return waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::u16string Wide(const std::string& text) { return std::u16string(text.begin(), text.end()); }

// The test CA, a certificate for "localhost" and a running TLS server; all gone afterwards.
class HttpsWorld {
 public:
  HttpsWorld() {
    char pattern[] = "/tmp/talvo-https-XXXXXX";
    if (mkdtemp(pattern) == nullptr) return;
    dir_ = pattern;
    const std::string d = dir_.string();
    std::ofstream(dir_ / "ext.cnf") << "subjectAltName=DNS:localhost\nbasicConstraints=CA:FALSE\n"
                                       "extendedKeyUsage=serverAuth\n";
    std::ofstream(dir_ / "server.py") << kServerScript;
    fs::create_directory(dir_ / "certs");
    const std::string openssl = "/usr/bin/openssl";
    if (!Run({openssl, "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
              "-nodes", "-keyout", d + "/ca.key", "-out", d + "/certs/ca-certificates.crt",
              "-days", "2", "-subj", "/CN=Talvo Test CA", "-addext",
              "basicConstraints=critical,CA:TRUE", "-addext",
              "keyUsage=critical,keyCertSign,cRLSign"}) ||
        !Run({openssl, "req", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
              "-nodes", "-keyout", d + "/server.key", "-out", d + "/server.csr", "-subj",
              "/CN=localhost"}) ||
        !Run({openssl, "x509", "-req", "-in", d + "/server.csr", "-CA",
              d + "/certs/ca-certificates.crt", "-CAkey", d + "/ca.key", "-CAcreateserial",
              "-out", d + "/server.pem", "-days", "2", "-extfile", d + "/ext.cnf"})) {
      return;
    }
    std::vector<std::string> args = {"/usr/bin/python3", d + "/server.py", d + "/server.pem",
                                     d + "/server.key", d + "/port", d + "/requests.log"};
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    if (posix_spawn(&server_, argv[0], nullptr, nullptr, argv.data(), environ) != 0) {
      server_ = 0;
      return;
    }
    for (int i = 0; i < 100 && !fs::exists(dir_ / "port"); ++i) SleepMs(100);
    port_ = ReadFile(dir_ / "port");
  }

  ~HttpsWorld() {
    if (server_ > 0) {
      kill(server_, SIGTERM);
      int status = 0;
      waitpid(server_, &status, 0);
    }
    if (!dir_.empty()) {
      std::error_code ignored;
      fs::remove_all(dir_, ignored);
    }
  }

  bool ok() const { return !port_.empty(); }
  std::u16string Url(const std::string& host, const std::string& path) const {
    return Wide("https://" + host + ":" + port_ + path);
  }
  std::string Requests() const { return ReadFile(dir_ / "requests.log"); }

  // Runs `body` in a child process; with `trustTestCa` inside its own mount namespace where
  // the test CA is the system store. The child's exit code comes back.
  int InChild(bool trustTestCa, const std::function<int()>& body) const {
    const pid_t child = fork();
    if (child < 0) return -1;
    if (child == 0) {
      if (trustTestCa) {
        if (unshare(CLONE_NEWNS) != 0 ||
            mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            mount((dir_ / "certs").c_str(), "/etc/ssl/certs", nullptr, MS_BIND, nullptr) != 0) {
          _exit(kCannotIsolate);
        }
      }
      for (const char* name : {"http_proxy", "https_proxy", "HTTPS_PROXY", "ALL_PROXY",
                               "all_proxy", "SSL_CERT_FILE", "SSL_CERT_DIR"}) {
        unsetenv(name);
      }
      _exit(body());
    }
    int status = 0;
    for (int i = 0; i < 600; ++i) {  // at most 60 s
      if (waitpid(child, &status, WNOHANG) == child) {
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      }
      SleepMs(100);
    }
    kill(child, SIGKILL);
    waitpid(child, &status, 0);
    return -1;
  }

 private:
  fs::path dir_;
  pid_t server_ = 0;
  std::string port_;
};

#define REQUIRE_HTTPS_WORLD(world)                                                       \
  if (geteuid() != 0) GTEST_SKIP() << "HTTPS tests need root for a private mount namespace"; \
  HttpsWorld world;                                                                      \
  if (!world.ok()) GTEST_SKIP() << "no openssl or python3 to play the HTTPS server"

TEST(Https, TrustedServerAnswersThePublicProfile) {
  REQUIRE_HTTPS_WORLD(world);
  const int result = world.InChild(true, [&world] {
    std::string body;
    if (!HttpFetch(PublicEchoGet, world.Url("localhost", "/ip"), u"", {}, body)) return 1;
    return body == "8.8.8.8\n" ? 0 : 2;
  });
  if (result == kCannotIsolate) GTEST_SKIP() << "no private mount namespace here";
  EXPECT_EQ(result, 0);
  const std::string requests = world.Requests();
  EXPECT_NE(requests.find("GET /ip HTTP/1.1\r\n"), std::string::npos) << requests;
  EXPECT_NE(requests.find("\r\nUser-Agent: TALVO Network Check research/1\r\n"),
            std::string::npos)
      << requests;
  EXPECT_EQ(requests.find("\r\nAccept:"), std::string::npos) << requests;
}

TEST(Https, LookupOverTlsSkipsUnusableAnswers) {
  REQUIRE_HTTPS_WORLD(world);
  const int result = world.InChild(true, [&world] {
    const std::u16string urls[] = {world.Url("localhost", "/v6"),
                                   world.Url("localhost", "/private"),
                                   world.Url("localhost", "/ip")};
    const std::u16string_view views[] = {urls[0], urls[1], urls[2]};
    const CancelFlag cancel{false};
    std::uint32_t address = 0;
    if (!LookupPublicAddressFrom(cancel, PublicEchoGet, views, 3, address)) return 1;
    return address == Ipv4FromParts(8, 8, 8, 8) ? 0 : 2;
  });
  if (result == kCannotIsolate) GTEST_SKIP() << "no private mount namespace here";
  EXPECT_EQ(result, 0);
}

TEST(Https, CertificateOutsideTheSystemStoreIsRefused) {
  REQUIRE_HTTPS_WORLD(world);
  const int result = world.InChild(false, [&world] {
    std::string body;
    return HttpFetch(PublicEchoGet, world.Url("localhost", "/ip"), u"", {}, body) ? 1 : 0;
  });
  EXPECT_EQ(result, 0);
  EXPECT_EQ(world.Requests().find("GET"), std::string::npos);
}

TEST(Https, CertificateForAnotherNameIsRefused) {
  REQUIRE_HTTPS_WORLD(world);
  const int result = world.InChild(true, [&world] {
    std::string body;
    return HttpFetch(PublicEchoGet, world.Url("127.0.0.1", "/ip"), u"", {}, body) ? 1 : 0;
  });
  if (result == kCannotIsolate) GTEST_SKIP() << "no private mount namespace here";
  EXPECT_EQ(result, 0);
  EXPECT_EQ(world.Requests().find("GET"), std::string::npos);
}

}  // namespace
}  // namespace talvo
