#pragma once

#include <string>

// One mail address with an optional display name, as typed by the user: "Name <a@b.c>" or a
// bare address. Nothing is validated.
class CSMTPAddress {
public:
    CSMTPAddress() = default;
    explicit CSMTPAddress(const std::string& strText);

    // "Name <address>" when there is a display name, otherwise the address alone.
    std::string FormatForHeader() const;

    std::string m_strDisplayName; // as typed, quotes included
    std::string m_strAddress;
};
