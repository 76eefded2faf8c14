#include "cli/cli_command.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string_view>

namespace {

// Built on first use, so registration works whatever order the files' statics start in.
std::vector<const CCliCommand*>& Registry() {
    static std::vector<const CCliCommand*> s_vecCommands;
    return s_vecCommands;
}

} // namespace

CCliCommand::CCliCommand(const char* pszName, const char* pszSummary, Function pfnRun)
    : m_pszName(pszName), m_pszSummary(pszSummary), m_pfnRun(pfnRun) {
    Registry().push_back(this);
}

const CCliCommand* CCliCommand::Find(const QString& strName) {
    for (const CCliCommand* pCommand : Registry())
        if (strName == QLatin1String(pCommand->m_pszName))
            return pCommand;
    return nullptr;
}

std::vector<const CCliCommand*> CCliCommand::GetAll() {
    std::vector<const CCliCommand*> vecCommands = Registry();
    std::sort(vecCommands.begin(), vecCommands.end(),
              [](const CCliCommand* a, const CCliCommand* b) {
                  return std::strcmp(a->m_pszName, b->m_pszName) < 0;
              });
    return vecCommands;
}

QString CliFromBytes(std::string_view strBytes) {
    QString str;
    for (size_t n = 0; n < strBytes.size();) {
        const auto nLead = static_cast<unsigned char>(strBytes[n]);
        const size_t nLen = nLead < 0x80                    ? 1
                            : nLead >= 0xC2 && nLead < 0xE0 ? 2
                            : nLead >= 0xE0 && nLead < 0xF0 ? 3
                            : nLead >= 0xF0 && nLead < 0xF5 ? 4
                                                            : 0;
        char32_t nCode = nLen == 1 ? nLead : nLead & (0x7F >> nLen);
        bool bValid = nLen > 0 && n + nLen <= strBytes.size();
        for (size_t k = 1; bValid && k < nLen; ++k) {
            const auto nNext = static_cast<unsigned char>(strBytes[n + k]);
            bValid = (nNext & 0xC0) == 0x80;
            nCode = (nCode << 6) | (nNext & 0x3F);
        }
        // Overlong forms, surrogates and code points past U+10FFFF are not UTF-8 either.
        static constexpr char32_t s_arrLeast[] = {0, 0, 0x80, 0x800, 0x10000};
        bValid = bValid && nCode >= s_arrLeast[nLen] && nCode <= 0x10FFFF &&
                 (nCode < 0xD800 || nCode > 0xDFFF);
        if (bValid) {
            str += QString::fromUcs4(&nCode, 1);
            n += nLen;
        } else {
            str += QChar(static_cast<char16_t>(0xDC00 + nLead));
            ++n;
        }
    }
    return str;
}

QStringList CliArguments(int argc, char* argv[]) {
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << CliFromBytes(argv[i]);
    return args;
}

namespace {

// A lone U+DC80..U+DCFF stands for a byte that was not UTF-8 (see CliArguments).
bool IsEscapedByte(const QString& str, qsizetype i) {
    const char16_t c = str.at(i).unicode();
    return c >= 0xDC80 && c <= 0xDCFF && (i == 0 || !str.at(i - 1).isHighSurrogate());
}

// Output bytes: UTF-8, with the bytes kept by CliArguments shown as "\xe9".
QByteArray ToOutput(const QString& str) {
    QByteArray bytes;
    qsizetype nStart = 0;
    for (qsizetype i = 0; i <= str.size(); ++i) {
        if (i < str.size() && !IsEscapedByte(str, i))
            continue;
        bytes += str.mid(nStart, i - nStart).toUtf8();
        if (i < str.size())
            bytes += QStringLiteral("\\x%1")
                         .arg(str.at(i).unicode() - 0xDC00, 2, 16, QChar('0'))
                         .toUtf8();
        nStart = i + 1;
    }
    return bytes;
}

} // namespace

std::string CliPath(const QString& strArgument) {
    std::string strPath;
    qsizetype nStart = 0;
    for (qsizetype i = 0; i <= strArgument.size(); ++i) {
        if (i < strArgument.size() && !IsEscapedByte(strArgument, i))
            continue;
        strPath += strArgument.mid(nStart, i - nStart).toUtf8().toStdString();
        if (i < strArgument.size())
            strPath += static_cast<char>(strArgument.at(i).unicode() - 0xDC00);
        nStart = i + 1;
    }
    return strPath;
}

QString CliVisible(const QString& strText, bool bKeepLineBreaks) {
    QString str;
    str.reserve(strText.size());
    for (QChar c : strText) {
        const char16_t n = c.unicode();
        if ((n >= 0x20 && n != 0x7F && (n < 0x80 || n > 0x9F)) || (bKeepLineBreaks && n == '\n')) {
            str += c;
            continue;
        }
        switch (n) {
        case '\r':
            str += QStringLiteral("\\r");
            break;
        case '\n':
            str += QStringLiteral("\\n");
            break;
        case '\t':
            str += QStringLiteral("\\t");
            break;
        default:
            str += QStringLiteral("\\x%1").arg(static_cast<int>(n), 2, 16, QChar('0'));
        }
    }
    return str;
}

QString CliFromLatin1(const std::string& str, bool bKeepLineBreaks) {
    return CliVisible(QString::fromLatin1(str.data(), static_cast<qsizetype>(str.size())),
                      bKeepLineBreaks);
}

void CliError(const QString& strText) {
    std::fputs(ToOutput("vantrelctl: " + strText + "\n").constData(), stderr);
    std::fflush(stderr);
}

void CliPrint(const QString& strText) {
    const QByteArray bytes = ToOutput(strText);
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout);
}

bool CliFlushOutput() {
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        CliError("cannot write to standard output");
        return false;
    }
    return true;
}

void CliAppendJsonString(std::string& strOut, const std::string& strLatin1) {
    static const char s_szHex[] = "0123456789abcdef";
    strOut += '"';
    for (char ch : strLatin1) {
        const auto nByte = static_cast<unsigned char>(ch);
        if (nByte == '"' || nByte == '\\') {
            strOut += '\\';
            strOut += ch;
        } else if (nByte < 0x20) {
            strOut += "\\u00";
            strOut += s_szHex[nByte >> 4];
            strOut += s_szHex[nByte & 15];
        } else if (nByte < 0x80) {
            strOut += ch;
        } else { // ISO-8859-1 to UTF-8
            strOut += static_cast<char>(0xC0 | (nByte >> 6));
            strOut += static_cast<char>(0x80 | (nByte & 0x3F));
        }
    }
    strOut += '"';
}
