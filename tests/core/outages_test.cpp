#include "core/outages.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

// "U100 D400 D700" -> tests; a down test's reason is "r" and its time.
std::vector<CTestRecord> Parse(const std::string& strTests) {
    std::vector<CTestRecord> arrTests;
    std::istringstream in(strTests);
    std::string strItem;
    while (in >> strItem) {
        CTestRecord test;
        test.bUp = strItem[0] == 'U';
        test.tWhen = std::stoll(strItem.substr(1));
        if (!test.bUp)
            test.strReason = "r" + strItem.substr(1);
        arrTests.push_back(test);
    }
    return arrTests;
}

// "start-end last-seen-up n reason", "?" after an end the tests broke off at, "|" between.
std::string Describe(const std::vector<COutage>& arrOutages) {
    std::string str;
    for (const COutage& o : arrOutages)
        str += (str.empty() ? "" : " | ") + std::to_string(o.tStart) + "-" +
               std::to_string(o.tEnd) + (o.bEndUnknown ? "?" : "") + " up" +
               std::to_string(o.tLastSeenUp) + " n" + std::to_string(o.nTests) + " " + o.strReason;
    return str;
}

} // namespace

TEST(OutageBuilderTest, DownRunsGapsRestartsStopsAndClockChanges) {
    // Tests every 300 s unless a case says otherwise; tNow is right after the last test unless
    // given.
    const struct {
        const char* pszCase;
        const char* pszTests;
        int64_t tNow;
        const char* pszExpected;
    } cases[] = {
        {"all up", "U1000 U1300 U1600", 1700, ""},
        {"one run", "U1000 D1300 D1600 D1900 U2200 U2500", 2600, "1300-2200 up1000 n3 r1300"},
        {"two runs", "U1000 D1300 U1600 D1900 U2200", 2300,
         "1300-1600 up1000 n1 r1300 | 1900-2200 up1600 n1 r1900"},
        {"down from the first test", "D1000 D1300 U1600", 1700, "1000-1600 up0 n2 r1000"},
        {"still down", "U1000 D1300 D1600", 1700, "1300-0 up1000 n2 r1300"},
        {"still down, an hour after the last test", "U1000 D1300 D1600", 5200,
         "1300-0 up1000 n2 r1300"},
        // The program was closed or the host's tests stopped while it was down.
        {"stopped while down", "U1000 D1300 D1600", 5201, "1300-1600? up1000 n2 r1300"},
        {"up after a gap", "U1000 D1300 D1600 U9000", 9100, "1300-1600? up1000 n2 r1300"},
        {"down again after a gap", "U1000 D1300 D1600 D9000 U9300", 9400,
         "1300-1600? up1000 n2 r1300 | 9000-9300 up1000 n1 r9000"},
        {"down after a gap while up", "U1000 U1300 D9000 U9300", 9400, "9000-9300 up1300 n1 r9000"},
        // A restart of the program within the hour goes on with the same outage.
        {"restart", "U1000 D1300 D1600 D4600 U4900", 5000, "1300-4900 up1000 n3 r1300"},
        // Hourly tests: a gap is only a break beyond three hours.
        {"hourly tests", "U100 D3700 D7300 D18100 U21700", 21800, "3700-21700 up100 n3 r3700"},
        {"hourly tests, a break", "U100 D3700 D7300 D18101 U21701", 21800,
         "3700-7300? up100 n2 r3700 | 18101-21701 up100 n1 r18101"},
        // The clock set back: the outage ends at its last down test, and the next one knows
        // no up test from before the change.
        {"clock set back", "U1000 D1300 D1600 D1100 U1400 D1700 U2000", 2100,
         "1300-1600? up1000 n2 r1300 | 1100-1400 up0 n1 r1100 | 1700-2000 up1400 n1 r1700"},
        {"clock set back while up", "U1000 U1300 U400 D700 U1000", 1100, "700-1000 up400 n1 r700"},
        {"same second twice", "U1000 D1300 D1300 U1300", 1400, "1300-1300 up1000 n2 r1300"},
        {"nothing", "", 0, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pszCase);
        EXPECT_EQ(Describe(COutageBuilder::Build(Parse(c.pszTests), c.tNow)), c.pszExpected);
    }
}

TEST(OutageBuilderTest, FinishStartsAfresh) {
    COutageBuilder builder;
    for (const CTestRecord& test : Parse("U1000 D1300"))
        builder.Add(test);
    EXPECT_EQ(Describe(builder.Finish(1400)), "1300-0 up1000 n1 r1300");
    for (const CTestRecord& test : Parse("D100 U400"))
        builder.Add(test);
    EXPECT_EQ(Describe(builder.Finish(500)), "100-400 up0 n1 r100");
}
