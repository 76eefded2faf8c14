// bench_mail [runs]: Base64 encode and decode of 64 MiB and MD5 of 256 MiB, side by side with
// the system's "base64 -w0", "base64 -d" and "md5sum" on the same bytes. The tools run as
// whole processes on files in the page cache; ours is timed twice: reading the same file
// and working on it (the same job as the tool), and on bytes already in memory.
#include "mail/base64_coder.h"
#include "mail/md5.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr size_t MIB = 1024 * 1024;

double Seconds(const std::function<void()>& work) {
    auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Best of nRuns, in seconds.
double Best(int nRuns, const std::function<void()>& work) {
    double dBest = 1e30;
    for (int i = 0; i < nRuns; ++i)
        dBest = std::min(dBest, Seconds(work));
    return dBest;
}

// Reads the file into strBuffer, reusing its storage as a tool reuses its read buffer.
void ReadFileInto(const std::string& strPath, std::string& strBuffer) {
    FILE* pFile = fopen(strPath.c_str(), "rb");
    fseek(pFile, 0, SEEK_END);
    strBuffer.resize(static_cast<size_t>(ftell(pFile)));
    fseek(pFile, 0, SEEK_SET);
    if (fread(strBuffer.data(), 1, strBuffer.size(), pFile) != strBuffer.size())
        exit(1);
    fclose(pFile);
}

void WriteFile(const std::string& strPath, const std::string& strData) {
    std::ofstream(strPath, std::ios::binary)
        .write(strData.data(), static_cast<std::streamsize>(strData.size()));
}

std::string Run(const std::string& strCommand) {
    std::string strOutput;
    FILE* pPipe = popen(strCommand.c_str(), "r");
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pPipe)) > 0)
        strOutput.append(buffer, n);
    if (pclose(pPipe) != 0) {
        fprintf(stderr, "failed: %s\n", strCommand.c_str());
        exit(1);
    }
    return strOutput;
}

std::string Md5Hex(const uint8_t* p, size_t n) {
    MD5_CTX context;
    MD5Init(&context);
    MD5Update(&context, p, n);
    uint8_t digest[16];
    MD5Final(digest, &context);
    std::string str;
    char sz[3];
    for (uint8_t b : digest) {
        snprintf(sz, sizeof sz, "%02x", b);
        str += sz;
    }
    return str;
}

void Row(const char* pszWhat, size_t nBytes, double dSeconds) {
    printf("  %-44s %8.1f ms %8.0f MiB/s\n", pszWhat, dSeconds * 1000,
           static_cast<double>(nBytes) / MIB / dSeconds);
}

} // namespace

int main(int argc, char** argv) {
    const int nRuns = argc > 1 ? std::max(1, atoi(argv[1])) : 5;
    char szDir[] = "/tmp/vantrel_bench_XXXXXX";
    if (mkdtemp(szDir) == nullptr)
        return 1;
    const std::string strDir = szDir;
    const std::string strPlainPath = strDir + "/plain64", strEncodedPath = strDir + "/encoded",
                      strBigPath = strDir + "/plain256";

    std::mt19937_64 random(1321);
    std::string strBig(256 * MIB, '\0');
    for (size_t i = 0; i < strBig.size(); i += 8) {
        uint64_t v = random();
        memcpy(strBig.data() + i, &v, 8);
    }
    const std::string strPlain = strBig.substr(0, 64 * MIB);
    WriteFile(strPlainPath, strPlain);
    WriteFile(strBigPath, strBig);
    const auto* pPlain = reinterpret_cast<const uint8_t*>(strPlain.data());

    CBase64Coder coder;
    coder.Encode(pPlain, static_cast<uint32_t>(strPlain.size()));
    const std::string strEncoded(coder.GetEncoded(), coder.GetEncodedLength());
    WriteFile(strEncodedPath, strEncoded);
    // Same bytes as the tools produce, or the comparison means nothing.
    if (Run("base64 -w0 " + strPlainPath) != strEncoded ||
        Run("md5sum " + strBigPath).substr(0, 32) !=
            Md5Hex(reinterpret_cast<const uint8_t*>(strBig.data()), strBig.size())) {
        fprintf(stderr, "results differ from the system tools\n");
        return 1;
    }

    std::string strRead;
    printf("best of %d runs; files in the page cache (%s)\n", nRuns, strDir.c_str());
    printf("Base64 encode, 64 MiB:\n");
    Row("base64 -w0 FILE >/dev/null", strPlain.size(),
        Best(nRuns, [&] { Run("base64 -w0 " + strPlainPath + " >/dev/null"); }));
    Row("CBase64Coder::Encode, reading FILE", strPlain.size(), Best(nRuns, [&] {
            ReadFileInto(strPlainPath, strRead);
            coder.Encode(reinterpret_cast<const uint8_t*>(strRead.data()),
                         static_cast<uint32_t>(strRead.size()));
        }));
    Row("CBase64Coder::Encode, in memory", strPlain.size(),
        Best(nRuns, [&] { coder.Encode(pPlain, static_cast<uint32_t>(strPlain.size())); }));

    printf("Base64 decode, 64 MiB of output:\n");
    Row("base64 -d FILE >/dev/null", strPlain.size(),
        Best(nRuns, [&] { Run("base64 -d " + strEncodedPath + " >/dev/null"); }));
    Row("CBase64Coder::Decode, reading FILE", strPlain.size(), Best(nRuns, [&] {
            ReadFileInto(strEncodedPath, strRead);
            coder.Decode(strRead.data(), static_cast<uint32_t>(strRead.size()));
        }));
    Row("CBase64Coder::Decode, in memory", strPlain.size(), Best(nRuns, [&] {
            coder.Decode(strEncoded.data(), static_cast<uint32_t>(strEncoded.size()));
        }));
    if (memcmp(coder.GetDecoded(), pPlain, strPlain.size()) != 0) {
        fprintf(stderr, "decoding lost bytes\n");
        return 1;
    }

    printf("MD5, 256 MiB:\n");
    Row("md5sum FILE", strBig.size(), Best(nRuns, [&] { Run("md5sum " + strBigPath); }));
    Row("MD5Update, reading FILE in 1 MiB blocks", strBig.size(), Best(nRuns, [&] {
            FILE* pFile = fopen(strBigPath.c_str(), "rb");
            std::vector<uint8_t> block(MIB);
            MD5_CTX context;
            MD5Init(&context);
            size_t n;
            while ((n = fread(block.data(), 1, block.size(), pFile)) > 0)
                MD5Update(&context, block.data(), n);
            uint8_t digest[16];
            MD5Final(digest, &context);
            fclose(pFile);
        }));
    Row("MD5Update, in memory", strBig.size(), Best(nRuns, [&] {
            Md5Hex(reinterpret_cast<const uint8_t*>(strBig.data()), strBig.size());
        }));

    for (const std::string& strPath : {strPlainPath, strEncodedPath, strBigPath})
        unlink(strPath.c_str());
    rmdir(szDir);
    return 0;
}
