#include "widgets/message_box_queue.h"

#include "widgets/message_box.h"

#include <QMessageBox>
#include <QThread>

CMessageBoxQueue::CMessageBoxQueue(QObject* pParent) : QObject(pParent) {}

CMessageBoxQueue::~CMessageBoxQueue() {
    {
        std::lock_guard lock(m_mtx);
        m_bClosed = true;
        m_queue.clear();
    }
    for (auto& [strKey, open] : m_mapOpen)
        delete open.pBox.data();
}

void CMessageBoxQueue::ShowMessage(const std::string& strText) {
    if (QThread::currentThread() == thread()) {
        CMessageBox::Information(m_pOwner, QString::fromLatin1(strText));
        return;
    }
    CHostNotice message;
    message.m_strText = strText;
    {
        std::lock_guard lock(m_mtx);
        if (m_bClosed)
            return;
        m_queue.emplace_back(false, std::move(message));
    }
    // Shown as soon as the user-interface thread is idle, unless a wait serves it first.
    QMetaObject::invokeMethod(this, &CMessageBoxQueue::Serve, Qt::QueuedConnection);
}

void CMessageBoxQueue::ShowHostNotice(const CHostNotice& notice) {
    {
        std::lock_guard lock(m_mtx);
        if (m_bClosed)
            return;
        m_queue.emplace_back(true, notice);
    }
    QMetaObject::invokeMethod(this, &CMessageBoxQueue::Serve, Qt::QueuedConnection);
}

void CMessageBoxQueue::Serve() {
    for (;;) {
        std::pair<bool, CHostNotice> item;
        {
            std::lock_guard lock(m_mtx);
            if (m_queue.empty())
                return;
            item = std::move(m_queue.front());
            m_queue.pop_front();
        }
        const CHostNotice& notice = item.second;
        if (!item.first) {
            Show(notice.m_strText, nullptr, notice.m_strText);
            continue;
        }
        Show(notice.m_eKind == CHostNotice::HOST_DOWN ? "\1down"
             : notice.m_eKind == CHostNotice::HOST_UP ? "\1up"
                                                      : "\1cert",
             &notice, notice.m_strText);
        if (m_fnNotify)
            m_fnNotify(notice);
    }
}

void CMessageBoxQueue::Show(const std::string& strKey, const CHostNotice* pNotice,
                            const std::string& strText) {
    SOpenBox& open = m_mapOpen[strKey];
    if (!open.pBox || !open.pBox->isVisible()) {
        delete open.pBox.data(); // closed, not yet deleted
        open.arrItems.clear();
        open.pBox = CMessageBox::Modeless(m_pOwner, QString::fromLatin1(strText));
    } else {
        open.pBox->raise();
    }
    if (!pNotice)
        return;
    open.arrItems.push_back(pNotice->m_strItem);
    if (open.arrItems.size() > 1)
        open.pBox->setText(QString::fromLatin1(GatheredText(pNotice->m_eKind, open.arrItems)));
}

std::string CMessageBoxQueue::GatheredText(CHostNotice::EKind eKind,
                                           const std::vector<std::string>& arrItems) {
    std::string strText = std::to_string(arrItems.size()) +
                          (eKind == CHostNotice::HOST_DOWN ? " hosts became unavailable: "
                           : eKind == CHostNotice::HOST_UP ? " hosts are up again: "
                                                           : " certificates expire soon: ");
    for (size_t i = 0; i < arrItems.size(); ++i)
        strText += (i ? ", " : "") + arrItems[i];
    return strText + '.';
}

size_t CMessageBoxQueue::GetPendingCount() const {
    std::lock_guard lock(m_mtx);
    return m_queue.size();
}

std::vector<QMessageBox*> CMessageBoxQueue::GetOpenBoxes() const {
    std::vector<QMessageBox*> arrBoxes;
    for (const auto& [strKey, open] : m_mapOpen)
        if (open.pBox)
            arrBoxes.push_back(open.pBox);
    return arrBoxes;
}
