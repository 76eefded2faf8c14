// bench_alert_tls [alerts]: the time and the client's CPU time of one host-down alert e-mail
// (connect, greeting, login, message, QUIT) to aiosmtpd on 127.0.0.1, without TLS, with
// STARTTLS and with TLS from the first byte, each with AUTH PLAIN or CRAM-MD5. The server's
// certificate comes from a CA made for the run and trusted through SSL_CERT_FILE.
#include "mail/smtp_connection.h"
#include "mail/smtp_message.h"

#include <arpa/inet.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// A port on 127.0.0.1 that nobody listened on a moment ago.
int FreePort() {
    const int hSocket = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t nLength = sizeof addr;
    bind(hSocket, reinterpret_cast<sockaddr*>(&addr), nLength);
    getsockname(hSocket, reinterpret_cast<sockaddr*>(&addr), &nLength);
    close(hSocket);
    return ntohs(addr.sin_port);
}

// The sink on a free port, in the given mode; its pid, or -1.
pid_t StartSink(const std::string& strDir, int nPort, const std::vector<std::string>& arrMode) {
    std::filesystem::remove(strDir + "/ready");
    std::vector<std::string> arrArgs{"python3", VANTREL_SMTP_SINK, std::to_string(nPort), strDir,
                                     "tim",     "tanstaaf"};
    arrArgs.insert(arrArgs.end(), arrMode.begin(), arrMode.end());
    std::vector<char*> arrArgv;
    for (std::string& str : arrArgs)
        arrArgv.push_back(str.data());
    arrArgv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        execv("/usr/bin/python3", arrArgv.data());
        _exit(127);
    }
    for (int i = 0; i < 300 && !std::filesystem::exists(strDir + "/ready"); ++i)
        usleep(50000);
    return std::filesystem::exists(strDir + "/ready") ? pid : -1;
}

bool SendOne(int nPort, int nSecurity) {
    CSMTPMessage message;
    message.m_from = CSMTPAddress("Vantrel <alerts@example.com>");
    message.AddRecipientList("ops@example.com");
    message.m_strSubject = "The host www.example.com went down";
    message.SetBodyText("This is an automatically generated message.\r\n");
    CSMTPConnection connection;
    connection.m_strHeloName = "bench.test";
    connection.m_nSecurity = nSecurity;
    return connection.Connect("127.0.0.1",
                              nSecurity == SMTP_SECURITY_NONE ? SMTP_AUTH_CRAM_MD5 : SMTP_AUTH_AUTO,
                              "tim", "tanstaaf", static_cast<uint16_t>(nPort)) &&
           connection.SendMessage(message) && connection.Disconnect(true);
}

} // namespace

int main(int argc, char** argv) {
    const int nAlerts = argc > 1 ? std::max(1, atoi(argv[1])) : 20;
    char szDir[] = "/tmp/vantrel_bench_XXXXXX";
    if (mkdtemp(szDir) == nullptr)
        return 1;
    const std::string strDir = szDir;
    const std::string strKey = " -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes ";
    if (system(("(cd " + strDir + " && printf 'subjectAltName=IP:127.0.0.1\\n' > san.ext && " +
                "openssl req -x509 -days 1" + strKey + "-keyout ca.key -out ca.pem -subj /CN=CA" +
                " && openssl req" + strKey + "-keyout s.key -out s.csr -subj /CN=127.0.0.1 && " +
                "openssl x509 -req -days 1 -in s.csr -CA ca.pem -CAkey ca.key -CAcreateserial " +
                "-extfile san.ext -out s.pem) >/dev/null 2>&1")
                   .c_str()) != 0) {
        fprintf(stderr, "the openssl command failed\n");
        return 1;
    }
    setenv("SSL_CERT_FILE", (strDir + "/ca.pem").c_str(), 1);
    const std::string strCert = strDir + "/s.pem", strKeyFile = strDir + "/s.key";
    const struct {
        const char* m_pszName;
        std::vector<std::string> m_arrMode;
        int m_nSecurity;
    } modes[] = {{"no TLS, CRAM-MD5", {}, SMTP_SECURITY_NONE},
                 {"STARTTLS, AUTH PLAIN",
                  {"starttls", strCert, strKeyFile, "CRAM-MD5"},
                  SMTP_SECURITY_STARTTLS},
                 {"TLS, AUTH PLAIN", {"tls", strCert, strKeyFile, "CRAM-MD5"}, SMTP_SECURITY_TLS}};
    printf("%d alerts each to aiosmtpd on 127.0.0.1 (median and best wall time, client CPU)\n",
           nAlerts);
    int nResult = 0;
    for (const auto& mode : modes) {
        const int nPort = FreePort();
        const pid_t pid = StartSink(strDir, nPort, mode.m_arrMode);
        if (pid < 0) {
            fprintf(stderr, "the SMTP server did not start (python3-aiosmtpd?)\n");
            return 1;
        }
        std::vector<double> arrMs;
        const double dCpuStart = CpuSeconds();
        for (int i = 0; i < nAlerts; ++i) {
            const auto start = std::chrono::steady_clock::now();
            if (!SendOne(nPort, mode.m_nSecurity)) {
                fprintf(stderr, "%s: alert %d was not sent\n", mode.m_pszName, i);
                nResult = 1;
                break;
            }
            arrMs.push_back(
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                    .count());
        }
        const double dCpuMs = (CpuSeconds() - dCpuStart) * 1000 / nAlerts;
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
        if (arrMs.empty())
            continue;
        std::sort(arrMs.begin(), arrMs.end());
        printf("  %-24s median %7.2f ms  best %7.2f ms  client CPU %6.2f ms per alert\n",
               mode.m_pszName, arrMs[arrMs.size() / 2], arrMs.front(), dCpuMs);
    }
    std::filesystem::remove_all(strDir);
    return nResult;
}
