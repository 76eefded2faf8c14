#pragma once

// Network namespaces made by a test, deleted when the lab goes: the only peers the e2e tests
// ever send to. Needs root and iproute2.

#include <cstdlib>
#include <fcntl.h>
#include <future>
#include <sched.h>
#include <stdexcept>
#include <string>
#include <unistd.h>
#include <vector>

class CNetnsLab {
public:
    // Empty when the lab can be made here, else why not.
    static std::string WhyUnavailable() {
        if (geteuid() != 0)
            return "needs root to make network namespaces";
        return Run("ip -V") ? "" : "needs iproute2 (ip)";
    }
    explicit CNetnsLab(const std::string& strTag)
        : m_strPrefix("vprobe" + std::to_string(getpid()) + strTag) {}
    ~CNetnsLab() {
        for (const std::string& strName : m_arrNames)
            Run("ip netns del " + strName);
    }
    CNetnsLab(const CNetnsLab&) = delete;
    CNetnsLab& operator=(const CNetnsLab&) = delete;

    // Makes namespace "<prefix>-<suffix>" with its loopback up; returns its name ("" failed).
    std::string Add(const std::string& strSuffix) {
        const std::string strName = m_strPrefix + "-" + strSuffix;
        Run("ip netns del " + strName + " 2>/dev/null");
        if (!Run("ip netns add " + strName))
            return "";
        m_arrNames.push_back(strName);
        return Ip(strName, "link set lo up") ? strName : "";
    }
    // Joins two namespaces with a veth pair and gives each end its address ("10.0.0.1/24").
    bool Link(const std::string& strA, const std::string& strIfA, const std::string& strAddrA,
              const std::string& strB, const std::string& strIfB, const std::string& strAddrB) {
        return Ip(strA,
                  "link add " + strIfA + " type veth peer name " + strIfB + " netns " + strB) &&
               Ip(strA, "addr add " + strAddrA + " dev " + strIfA) &&
               Ip(strB, "addr add " + strAddrB + " dev " + strIfB) &&
               Ip(strA, "link set " + strIfA + " up") && Ip(strB, "link set " + strIfB + " up");
    }
    // "ip -n NS <args>" and "ip netns exec NS <command>".
    bool Ip(const std::string& strNs, const std::string& strArgs) {
        return Run("ip -n " + strNs + " " + strArgs);
    }
    bool Exec(const std::string& strNs, const std::string& strCommand) {
        return Run("ip netns exec " + strNs + " " + strCommand);
    }
    static bool Run(const std::string& strCommand) {
        return std::system((strCommand + " >/dev/null").c_str()) == 0;
    }
    // Calls f on a new thread that has entered the namespace: sockets it makes belong there.
    template <class F> auto InNamespace(const std::string& strNs, F f) -> decltype(f()) {
        auto inside = [&] {
            const int fd = open(("/run/netns/" + strNs).c_str(), O_RDONLY | O_CLOEXEC);
            const bool bEntered = fd >= 0 && setns(fd, CLONE_NEWNET) == 0;
            if (close(fd), !bEntered)
                throw std::runtime_error("cannot enter network namespace " + strNs);
            return f();
        };
        return std::async(std::launch::async, inside).get();
    }

private:
    std::string m_strPrefix;
    std::vector<std::string> m_arrNames;
};
