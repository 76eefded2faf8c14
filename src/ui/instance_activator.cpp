#include "ui/instance_activator.h"

#include "ui/main_frame.h"

#include <QCryptographicHash>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>

namespace {

constexpr int ANSWER_TIMEOUT_MS = 2000;
const QByteArray SHOW_REQUEST = "show\n";
const QByteArray SHOWN_REPLY = "shown\n";

} // namespace

CInstanceActivator::CInstanceActivator(CMainFrame* pFrame)
    : m_pFrame(pFrame), m_pServer(new QLocalServer(this)) {
    m_pServer->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_pServer, &QLocalServer::newConnection, this, &CInstanceActivator::OnConnection);
}

CInstanceActivator::~CInstanceActivator() = default;

QString CInstanceActivator::ServerName(const std::string& strDataPath) {
    QString strFolder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (strFolder.isEmpty())
        strFolder = QDir::tempPath();
    const QByteArray hash =
        QCryptographicHash::hash(QByteArray::fromStdString(strDataPath), QCryptographicHash::Sha256)
            .toHex()
            .left(16);
    return strFolder + "/vantrel-" + QString::fromLatin1(hash) + ".socket";
}

bool CInstanceActivator::Listen(const std::string& strDataPath) {
    const QString strName = ServerName(strDataPath);
    // This process holds the instance guard: a socket left there was left by a crash.
    QLocalServer::removeServer(strName);
    return m_pServer->listen(strName);
}

bool CInstanceActivator::ActivateRunning(const std::string& strDataPath) {
    QLocalSocket socket;
    socket.connectToServer(ServerName(strDataPath));
    if (!socket.waitForConnected(ANSWER_TIMEOUT_MS))
        return false;
    socket.write(SHOW_REQUEST);
    if (!socket.waitForBytesWritten(ANSWER_TIMEOUT_MS))
        return false;
    QByteArray reply;
    while (reply.size() < SHOWN_REPLY.size() && socket.waitForReadyRead(ANSWER_TIMEOUT_MS))
        reply += socket.readAll();
    return reply == SHOWN_REPLY;
}

void CInstanceActivator::OnConnection() {
    while (QLocalSocket* pSocket = m_pServer->nextPendingConnection()) {
        connect(pSocket, &QLocalSocket::disconnected, pSocket, &QObject::deleteLater);
        connect(pSocket, &QLocalSocket::readyRead, this, [this, pSocket] {
            if (!pSocket->canReadLine())
                return;
            if (pSocket->readLine() == SHOW_REQUEST) {
                m_pFrame->RestoreFromTray();
                pSocket->write(SHOWN_REPLY);
            }
            pSocket->disconnectFromServer();
        });
    }
}
