#include "widgets/message_box_queue.h"

#include "widgets/message_box.h"

#include <QThread>

CMessageBoxQueue::CMessageBoxQueue(QObject* pParent) : QObject(pParent) {}

CMessageBoxQueue::~CMessageBoxQueue() {
    std::lock_guard lock(m_mtx);
    m_bClosed = true;
    for (auto& pRequest : m_queue)
        pRequest->bDone = true;
    m_queue.clear();
    m_cvDone.notify_all();
}

void CMessageBoxQueue::ShowMessage(const std::string& strText) {
    if (QThread::currentThread() == thread()) {
        CMessageBox::Information(m_pOwner, QString::fromLatin1(strText));
        return;
    }
    auto pRequest = std::make_shared<SRequest>();
    pRequest->strText = strText;
    {
        std::lock_guard lock(m_mtx);
        if (m_bClosed)
            return;
        m_queue.push_back(pRequest);
    }
    // Shown as soon as the user-interface thread is idle, unless a wait serves it first.
    QMetaObject::invokeMethod(this, &CMessageBoxQueue::Serve, Qt::QueuedConnection);
    std::unique_lock lock(m_mtx);
    m_cvDone.wait(lock, [&] { return pRequest->bDone; });
}

void CMessageBoxQueue::Serve() {
    for (;;) {
        std::shared_ptr<SRequest> pRequest;
        {
            std::lock_guard lock(m_mtx);
            if (m_bServing || m_queue.empty())
                return;
            pRequest = m_queue.front();
            m_queue.pop_front();
            m_bServing = true;
        }
        CMessageBox::Information(m_pOwner, QString::fromLatin1(pRequest->strText));
        std::lock_guard lock(m_mtx);
        m_bServing = false;
        pRequest->bDone = true;
        m_cvDone.notify_all();
    }
}

size_t CMessageBoxQueue::GetPendingCount() const {
    std::lock_guard lock(m_mtx);
    return m_queue.size();
}
