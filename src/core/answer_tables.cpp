#include "core/answer_tables.h"

#include <array>

namespace {

std::vector<std::string> Numbers(int nFirst, int nLast) {
    std::vector<std::string> arr;
    for (int n = nFirst; n <= nLast; ++n)
        arr.push_back(std::to_string(n));
    return arr;
}

std::vector<std::string> EmailAccounts() {
    std::vector<std::string> arr = Numbers(1, 20);
    arr.push_back("20+");
    return arr;
}

std::vector<std::string> Transfer() {
    std::vector<std::string> arr = {">500 meg", "500 - 1000 meg"};
    for (int n = 1; n <= 40; ++n)
        arr.push_back(std::to_string(n) + " gb");
    for (const char* psz : {"40 - 44 gb", "45 - 49 gb", "50 - 54 gb", "55 - 59 gb", "60 - 69 gb",
                            "70 - 79 gb", "80 - 89 gb", "90 - 99 gb", "100+ gb"})
        arr.push_back(psz);
    return arr;
}

std::vector<std::string> Cost() {
    std::vector<std::string> arr = {"> $5"};
    auto addBands = [&arr](int nFrom, int nTo, int nWidth) {
        for (int a = nFrom; a < nTo; a += nWidth)
            arr.push_back("$" + std::to_string(a) + " - $" + std::to_string(a + nWidth - 1));
    };
    addBands(5, 120, 5);
    addBands(120, 250, 10);
    addBands(250, 600, 25);
    arr.push_back("$600+");
    return arr;
}

const std::array<std::vector<std::string>, ANSWER_LIST_COUNT>& Lists() {
    static const std::array<std::vector<std::string>, ANSWER_LIST_COUNT> s_arrLists = {
        std::vector<std::string>{"Yes", "No"},
        EmailAccounts(),
        {"Didn't Respond", "Slow", "Average", "Fast", "Very Fast"},
        Numbers(1, 10),
        {"Daily", "Weekly", "Monthly", "None"},
        {"> 1 meg",       "1 - 2 meg",     "3 - 4 meg",     "5 - 9 meg",     "10 - 14 meg",
         "15 - 19 meg",   "20 - 29 meg",   "30 - 39 meg",   "40 - 49 meg",   "50 - 74 meg",
         "75 - 99 meg",   "100 - 149 meg", "150 - 199 meg", "200 - 299 meg", "300 - 399 meg",
         "400 - 499 meg", "500 - 599 meg", "600 - 699 meg", "700 - 799 meg", "800 - 899 meg",
         "900 - 999 meg", "1000+ meg"},
        Transfer(),
        Cost(),
        {"Unix Operating System",
         "Windows Operating System",
         "Your-name.com (own domain name)",
         "Own CGI-BIN",
         "PERL",
         "FrontPage Extensions",
         "Control Panel",
         "Site Stats",
         "FTP Access",
         "Sub-domain Support",
         "Multiple Domain Support",
         "Real Audio and Video",
         "Streaming",
         "Shockwave Support",
         "Midi File Support",
         "Latest Mime Types",
         "Database Support (eg. MySQL)",
         "Cron Jobs",
         "GPG Key",
         "Telnet",
         "SSH Secure Shell Access",
         "Advanced Programming Languages",
         "Cold Fusion",
         "PHP Support",
         "ASP Support",
         "Server Side Includes",
         "SSL Secure Server Access",
         "Password Protected Directories",
         "Search Engine Optimization",
         "Site Builder Software",
         "Tutorials",
         "Pre-Installed CGI Scripts",
         "Shopping Cart",
         "Reseller Program",
         "Affiliate Program",
         "Free Domain Name",
         "Other"},
    };
    return s_arrLists;
}

} // namespace

const std::vector<std::string>& GetAnswerList(EAnswerList eList) {
    return Lists()[eList];
}

const std::string& GetAnswerText(EAnswerList eList, int nPosition) {
    static const std::string s_strEmpty;
    const std::vector<std::string>& arr = GetAnswerList(eList);
    if (nPosition < 0 || static_cast<size_t>(nPosition) >= arr.size())
        return s_strEmpty;
    return arr[static_cast<size_t>(nPosition)];
}

const std::vector<std::string>& g_arrStorage = GetAnswerList(ANSWERS_STORAGE);
const std::vector<std::string>& g_arrTransfer = GetAnswerList(ANSWERS_TRANSFER);
const std::vector<std::string>& g_arrCost = GetAnswerList(ANSWERS_COST);
const std::vector<std::string>& g_arrFeatures = GetAnswerList(ANSWERS_FEATURES);
