// Load and save of a large hosts file (1,000 hosts x 10,000 pings, about 40 MB) against
// plain sequential reads and writes of the same number of bytes, and the peak memory of
// load and save. Usage: bench_data [--dir=FOLDER] [benchmark options]; the files go to
// FOLDER (default /tmp) and are removed at the end.
#include "core/hosts_file.h"

#include <benchmark/benchmark.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <string>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int HOSTS = 1000;
constexpr int PINGS = 10000;

std::string g_strDataFile;
std::string g_strPlainFile;
uint64_t g_nFileBytes = 0;

std::vector<CHost*> MakeHosts() {
    std::vector<CHost*> arrHosts;
    uint32_t nSeed = 12345;
    for (int i = 0; i < HOSTS; ++i) {
        auto* pHost = new CHost;
        pHost->m_strName = "Host " + std::to_string(i);
        pHost->m_strWebSite = "http://www" + std::to_string(i) + ".example.com/";
        pHost->m_strTestURL = pHost->m_strWebSite + "test.html";
        for (int a = 0; a < CHost::ANSWER_COUNT; ++a)
            pHost->Answer(a) = a % 4;
        pHost->m_pPingHistory->reserve(PINGS);
        for (int p = 0; p < PINGS; ++p) {
            nSeed = nSeed * 1664525u + 1013904223u;
            pHost->m_pPingHistory->push_back(10 + (nSeed >> 24));
            pHost->m_nPingTotal += static_cast<int32_t>(pHost->m_pPingHistory->back());
        }
        pHost->m_nTests = pHost->m_nTestsUp = PINGS;
        arrHosts.push_back(pHost);
    }
    return arrHosts;
}

void FreeHosts(std::vector<CHost*>& arrHosts) {
    for (CHost* pHost : arrHosts)
        delete pHost;
    arrHosts.clear();
}

std::vector<CHost*> LoadHosts() {
    std::vector<CHost*> arrHosts;
    int32_t nRun = 0, nInterval = 5;
    CHostsFile::CLoadReport report = CHostsFile::Load(g_strDataFile, arrHosts, nRun, nInterval);
    if (report.m_eResult != CHostsFile::LOAD_OK || arrHosts.size() != HOSTS) {
        std::fprintf(stderr, "load failed: %s\n", report.m_strReason.c_str());
        std::exit(1);
    }
    return arrHosts;
}

void SaveHosts(const std::vector<CHost*>& arrHosts) {
    std::string strError;
    if (!CHostsFile::Save(g_strDataFile, arrHosts, 0, 5, false, strError)) {
        std::fprintf(stderr, "%s\n", strError.c_str());
        std::exit(1);
    }
}

long PeakRssKb() {
    struct rusage usage;
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

long CurrentRssKb() {
    std::ifstream status("/proc/self/status");
    std::string strLine;
    while (std::getline(status, strLine))
        if (strLine.rfind("VmRSS:", 0) == 0)
            return std::stol(strLine.substr(6));
    return 0;
}

// Runs pfn in a child forked while this process is still small, so that the child's peak
// RSS (getrusage) is its own.
template <typename F> void InChild(F pfn) {
    std::fflush(stdout);
    pid_t pid = ::fork();
    if (pid == 0) {
        pfn();
        std::fflush(stdout);
        ::_exit(0);
    }
    int nStatus = 0;
    ::waitpid(pid, &nStatus, 0);
    if (!WIFEXITED(nStatus) || WEXITSTATUS(nStatus) != 0)
        std::exit(1);
}

void MeasureMemory() {
    const double dFileMb = static_cast<double>(g_nFileBytes) / (1024.0 * 1024.0);
    InChild([&] {
        const long nBefore = CurrentRssKb();
        std::vector<CHost*> arrHosts = LoadHosts();
        const long nPeak = PeakRssKb();
        std::printf("load: peak RSS %.1f MB (%.1f MB before loading), %.2fx the file's %.1f MB\n",
                    nPeak / 1024.0, nBefore / 1024.0, (nPeak - nBefore) / 1024.0 / dFileMb,
                    dFileMb);
        FreeHosts(arrHosts);
    });
    InChild([&] {
        std::vector<CHost*> arrHosts = LoadHosts();
        const long nLoaded = CurrentRssKb();
        const long nPeakBefore = PeakRssKb();
        SaveHosts(arrHosts);
        const long nPeak = PeakRssKb();
        std::printf("save: peak RSS %.1f MB with the list loaded (%.1f MB); saving added %.1f MB\n",
                    nPeak / 1024.0, nLoaded / 1024.0,
                    (nPeak - std::max(nLoaded, nPeakBefore)) / 1024.0);
        FreeHosts(arrHosts);
    });
}

void BM_Load(benchmark::State& state) {
    for (auto _ : state) {
        std::vector<CHost*> arrHosts = LoadHosts();
        benchmark::DoNotOptimize(arrHosts.data());
        state.PauseTiming();
        FreeHosts(arrHosts);
        state.ResumeTiming();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * g_nFileBytes));
}

// Save: temporary file, write, fsync, rename.
void BM_Save(benchmark::State& state) {
    std::vector<CHost*> arrHosts = LoadHosts();
    for (auto _ : state)
        SaveHosts(arrHosts);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * g_nFileBytes));
    FreeHosts(arrHosts);
}

// Plain read of the same number of bytes into fresh memory, as a load must fill fresh
// memory (mmap, so the allocator cannot hand back pages already touched).
void BM_PlainRead(benchmark::State& state) {
    for (auto _ : state) {
        void* pAll = ::mmap(nullptr, g_nFileBytes, PROT_READ | PROT_WRITE,
                            MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        int nFd = ::open(g_strPlainFile.c_str(), O_RDONLY);
        auto* pOut = static_cast<char*>(pAll);
        for (uint64_t nDone = 0; nDone < g_nFileBytes;) {
            ssize_t nRead = ::read(nFd, pOut + nDone, g_nFileBytes - nDone);
            if (nRead <= 0)
                std::exit(1);
            nDone += static_cast<uint64_t>(nRead);
        }
        ::close(nFd);
        benchmark::DoNotOptimize(pAll);
        ::munmap(pAll, g_nFileBytes);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * g_nFileBytes));
}

// Plain write of the same bytes; with state.range(0) the file is synced as a save is.
void BM_PlainWrite(benchmark::State& state) {
    std::vector<char> vecAll(g_nFileBytes, 'x');
    for (auto _ : state) {
        int nFd = ::open(g_strPlainFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        for (size_t nDone = 0; nDone < vecAll.size();) {
            size_t nChunk = std::min<size_t>(65536, vecAll.size() - nDone);
            ssize_t nWritten = ::write(nFd, vecAll.data() + nDone, nChunk);
            if (nWritten <= 0)
                std::exit(1);
            nDone += static_cast<size_t>(nWritten);
        }
        if (state.range(0))
            ::fsync(nFd);
        ::close(nFd);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * g_nFileBytes));
}

BENCHMARK(BM_Load)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainRead)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Save)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainWrite)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    std::string strDir = "/tmp";
    std::vector<char*> vecArgs;
    for (int i = 0; i < argc; ++i) {
        if (std::strncmp(argv[i], "--dir=", 6) == 0)
            strDir = argv[i] + 6;
        else
            vecArgs.push_back(argv[i]);
    }
    g_strDataFile = strDir + "/vantrel-bench-" + std::to_string(::getpid()) + ".dat";
    g_strPlainFile = g_strDataFile + ".plain";

    InChild([] {
        std::vector<CHost*> arrHosts = MakeHosts();
        SaveHosts(arrHosts);
        FreeHosts(arrHosts);
    });
    struct stat st;
    ::stat(g_strDataFile.c_str(), &st);
    g_nFileBytes = static_cast<uint64_t>(st.st_size);
    std::printf("file: %d hosts x %d pings = %llu bytes\n", HOSTS, PINGS,
                static_cast<unsigned long long>(g_nFileBytes));
    MeasureMemory();
    // The plain benchmarks read what plain writes leave: the same number of bytes.
    {
        std::ofstream plain(g_strPlainFile, std::ios::binary);
        std::string strChunk(65536, 'x');
        for (uint64_t nDone = 0; nDone < g_nFileBytes; nDone += strChunk.size())
            plain.write(strChunk.data(), static_cast<std::streamsize>(std::min<uint64_t>(
                                             strChunk.size(), g_nFileBytes - nDone)));
    }

    int nArgs = static_cast<int>(vecArgs.size());
    benchmark::Initialize(&nArgs, vecArgs.data());
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::printf("peak RSS of the whole run: %.1f MB\n", PeakRssKb() / 1024.0);
    ::unlink(g_strDataFile.c_str());
    ::unlink(g_strPlainFile.c_str());
    return 0;
}
