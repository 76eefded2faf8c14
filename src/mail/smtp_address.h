#pragma once

#include <string>

// One mail address with an optional display name, as typed by the user: "Name <a@b.c>",
// "\"Last, First\" <a@b.c>" or a bare address. Nothing is validated.
class CSMTPAddress {
public:
    CSMTPAddress() = default;
    explicit CSMTPAddress(const std::string& strText);

    // "Name <address>" when there is a display name, otherwise the address alone. A name
    // with RFC 5322 specials (a comma, a dot) is quoted: "Ops, Team" <ops@example.org>.
    std::string FormatForHeader() const;
    // The display name without its enclosing quotes and escapes.
    std::string GetPlainDisplayName() const;
    // Position of the first of pszChars at or after nFrom that is outside double quotes.
    static size_t FindUnquoted(const std::string& strText, const char* pszChars, size_t nFrom = 0);

    std::string m_strDisplayName; // as typed, quotes included
    std::string m_strAddress;
};
