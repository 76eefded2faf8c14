#pragma once

#include "core/message_sink.h"

#include <QObject>
#include <QPointer>
#include <QWidget>

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>

// The worker's message boxes. Widgets live on the user-interface thread only, so the worker
// queues its text and blocks until the user has closed the box; the user-interface thread
// shows the boxes when it is idle and from Serve() during every wait for the worker.
class CMessageBoxQueue : public QObject, public CMessageSink {
    Q_OBJECT
public:
    explicit CMessageBoxQueue(QObject* pParent = nullptr);
    // Releases any worker still waiting for its box.
    ~CMessageBoxQueue() override;

    // The window that owns the boxes (the main window).
    void SetOwner(QWidget* pOwner) { m_pOwner = pOwner; }

    // On the user-interface thread the box is shown at once; on any other thread the call
    // returns when the user-interface thread has shown the box and the user has closed it.
    void ShowMessage(const std::string& strText) override;

    // User-interface thread: shows every queued box, one after the other.
    void Serve();

    size_t GetPendingCount() const;

private:
    struct SRequest {
        std::string strText;
        bool bDone = false;
    };

    mutable std::mutex m_mtx;
    std::condition_variable m_cvDone;
    std::deque<std::shared_ptr<SRequest>> m_queue;
    bool m_bClosed = false;
    bool m_bServing = false; // a box of the queue is open; nested serves wait their turn
    QPointer<QWidget> m_pOwner;
};
