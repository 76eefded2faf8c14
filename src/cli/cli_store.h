#pragma once

#include "cli/cli_args.h"
#include "core/message_sink.h"
#include "core/vantrel_doc.h"

#include <string>
#include <vector>

// The host store as the command-line verbs use it: loaded read-only (no worker, no file
// created), with the store's messages printed to stderr.
class CCliStore : public CMessageSink {
public:
    CCliStore();

    // Loads strPath. CLI_OK for a sound file. A missing, unreadable or damaged file is
    // described on stderr and gives CLI_BAD_INPUT; the complete hosts of a damaged file are
    // loaded all the same.
    int Load(const std::string& strPath);

    // Parses the verb's arguments and loads the file that --data names (or the default one).
    // False when the verb must end at once with nExit: after --help or a usage error, or with
    // nothing to work on (missing or unreadable file). Otherwise nExit is CLI_OK, or
    // CLI_BAD_INPUT for damaged input, whose complete hosts are loaded all the same.
    bool Open(CCliArgs& args, int& nExit);

    // Loads the file that --data names and reads the --hosts list strHosts into arrSet.
    // CLI_OK, or the status to end with: a damaged file is not worked on (it would give only
    // the hosts before the damage; the reason is on stderr), a wrong list is a usage error.
    int LoadChosenHosts(const CCliArgs& args, const QString& strHosts, std::vector<int>& arrSet);

    CVantrelDoc& GetDoc() { return m_doc; }

    // For check: "history: ok, N bytes" or what is wrong with the test history beside the
    // data file, as a line; nothing when there is none. bSound false when it is damaged or
    // cannot be read.
    static QString DescribeHistory(const std::string& strDataPath, bool& bSound);
    // After an import: the hosts of arrHosts that match keep their histories, the others'
    // histories go. True when there is no history or it was updated; false after saying why.
    static bool KeepHistories(const std::string& strDataPath, const std::vector<CHost*>& arrHosts);

    void ShowMessage(const std::string& strText) override;

private:
    CVantrelDoc m_doc;
    CHostsFile::CLoadReport m_report;
};
