#pragma once

// Network namespaces made by a test, deleted when the lab goes: the only peers the e2e tests
// ever send to. Needs root and iproute2.

#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

#include <cstdlib>
#include <exception>
#include <stdexcept>
#include <string>
#include <thread>
#include <type_traits>
#include <utility>
#include <vector>

class CNetnsLab {
public:
    // Empty when the lab can be made here, else why not.
    static std::string WhyUnavailable() {
        if (geteuid() != 0)
            return "needs root to make network namespaces";
        if (std::system("ip -V >/dev/null 2>&1") != 0)
            return "needs iproute2 (ip)";
        return std::string();
    }

    explicit CNetnsLab(const std::string& strTag)
        : m_strPrefix("vprobe" + std::to_string(getpid()) + strTag) {}

    ~CNetnsLab() {
        for (const std::string& strName : m_arrNames)
            Run("ip netns del " + strName);
    }

    CNetnsLab(const CNetnsLab&) = delete;
    CNetnsLab& operator=(const CNetnsLab&) = delete;

    // Makes namespace "<prefix>-<suffix>" with its loopback up; returns its name.
    std::string Add(const std::string& strSuffix) {
        const std::string strName = m_strPrefix + "-" + strSuffix;
        Run("ip netns del " + strName + " 2>/dev/null");
        if (!Run("ip netns add " + strName))
            return std::string();
        m_arrNames.push_back(strName);
        Run("ip -n " + strName + " link set lo up");
        return strName;
    }

    // Joins two namespaces with a veth pair and gives each end its address ("10.0.0.1/24").
    bool Link(const std::string& strA, const std::string& strIfA, const std::string& strAddrA,
              const std::string& strB, const std::string& strIfB, const std::string& strAddrB) {
        return Run("ip -n " + strA + " link add " + strIfA + " type veth peer name " + strIfB +
                   " netns " + strB) &&
               Run("ip -n " + strA + " addr add " + strAddrA + " dev " + strIfA) &&
               Run("ip -n " + strB + " addr add " + strAddrB + " dev " + strIfB) &&
               Run("ip -n " + strA + " link set " + strIfA + " up") &&
               Run("ip -n " + strB + " link set " + strIfB + " up");
    }

    // Runs "ip -n NS <args>" or "ip netns exec NS <command>".
    bool Ip(const std::string& strNs, const std::string& strArgs) {
        return Run("ip -n " + strNs + " " + strArgs);
    }
    bool Exec(const std::string& strNs, const std::string& strCommand) {
        return Run("ip netns exec " + strNs + " " + strCommand);
    }

    // Calls f on a thread that has entered the namespace: sockets it makes belong there.
    template <class F> auto InNamespace(const std::string& strNs, F f) -> decltype(f()) {
        using R = decltype(f());
        std::exception_ptr pError;
        if constexpr (std::is_void_v<R>) {
            std::thread([&] {
                try {
                    Enter(strNs);
                    f();
                } catch (...) {
                    pError = std::current_exception();
                }
            }).join();
            if (pError)
                std::rethrow_exception(pError);
        } else {
            R result{};
            std::thread([&] {
                try {
                    Enter(strNs);
                    result = f();
                } catch (...) {
                    pError = std::current_exception();
                }
            }).join();
            if (pError)
                std::rethrow_exception(pError);
            return result;
        }
    }

    static bool Run(const std::string& strCommand) {
        return std::system((strCommand + " >/dev/null").c_str()) == 0;
    }

    // Moves the calling thread into the namespace.
    static void Enter(const std::string& strNs) {
        const int fd = open(("/run/netns/" + strNs).c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0 || setns(fd, CLONE_NEWNET) != 0) {
            if (fd >= 0)
                close(fd);
            throw std::runtime_error("cannot enter network namespace " + strNs);
        }
        close(fd);
    }

private:
    std::string m_strPrefix;
    std::vector<std::string> m_arrNames;
};
