#pragma once

#include <QObject>
#include <QString>

#include <string>

class CMainFrame;
class QLocalServer;

// Starting the program again while it runs brings the running window to the front: the running
// instance listens on a local socket named after the user and the data file; a second start
// that finds the instance guard held asks it to show itself and ends quietly.
class CInstanceActivator : public QObject {
    Q_OBJECT
public:
    explicit CInstanceActivator(CMainFrame* pFrame);
    ~CInstanceActivator() override;

    // The running instance's side; false when the socket cannot be made (nothing else fails).
    bool Listen(const std::string& strDataPath);
    // The second start's side: true when an instance for this data file answered that it has
    // shown its window.
    static bool ActivateRunning(const std::string& strDataPath);

    // In the user's runtime folder, one per data file.
    static QString ServerName(const std::string& strDataPath);

private:
    void OnConnection();

    CMainFrame* m_pFrame;
    QLocalServer* m_pServer;
};
