#pragma once

#include <string>
#include <vector>

class CHost;
class CReportScorer;
struct CReportHistory;

// The HTML comparison report: one line of ISO-8859-1 text tabling the scored hosts from the
// best total to the worst, with their plan details, figures and the weights used.
class CReportWriter {
public:
    // The whole document for hosts scored from arrHosts. Names, web sites and answer texts are
    // escaped where HTML would read them as markup; an unanswered plan question gives an
    // empty cell. strChart, when not empty, is markup (the comparison chart's <svg> element)
    // placed right after the score table (and the history table); without it the document is
    // as it always was. pHistory, when given, holds each host's measured history by its index
    // in arrHosts: the test period goes under the title and a table of the figures after the
    // scores.
    static std::string BuildReport(const std::vector<CHost*>& arrHosts, const CReportScorer& scorer,
                                   const std::string& strChart = {},
                                   const std::vector<CReportHistory>* pHistory = nullptr);

    // Builds the document and writes it to strPath (see WriteFile).
    static bool WriteReport(const std::string& strPath, const std::vector<CHost*>& arrHosts,
                            const CReportScorer& scorer, std::string& strError,
                            const std::string& strChart = {},
                            const std::vector<CReportHistory>* pHistory = nullptr);

    // Writes strText to a new file beside strPath and renames it over strPath once it is
    // complete, so a failure never leaves a partial report or destroys an existing file.
    // False with the reason in plain words in strError.
    static bool WriteFile(const std::string& strPath, const std::string& strText,
                          std::string& strError);
};
