#pragma once

#include "core/message_sink.h"

#include <QObject>
#include <QPointer>
#include <QWidget>

#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <vector>

class QMessageBox;

// The worker's message boxes. Widgets live on the user-interface thread only, so the worker
// queues its text and goes on at once; the user-interface thread shows the boxes when it is
// idle and from Serve() during every wait for the worker. The boxes are not modal: the window
// stays usable. A message that arrives while a box of its kind is open goes into that box
// ("3 hosts became unavailable: ..."); an identical text is shown once.
class CMessageBoxQueue : public QObject, public CMessageSink {
    Q_OBJECT
public:
    explicit CMessageBoxQueue(QObject* pParent = nullptr);
    ~CMessageBoxQueue() override;

    // The window that owns the boxes (the main window).
    void SetOwner(QWidget* pOwner) { m_pOwner = pOwner; }
    // Told of every host notice as it is shown (the desktop notification).
    void SetNotifier(std::function<void(const CHostNotice&)> fnNotify) {
        m_fnNotify = std::move(fnNotify);
    }

    // On the user-interface thread a modal box, returning when the user has closed it; from
    // any other thread it is queued and the call returns at once.
    void ShowMessage(const std::string& strText) override;
    // Always queued.
    void ShowHostNotice(const CHostNotice& notice) override;

    // User-interface thread: shows or gathers every queued message.
    void Serve();

    size_t GetPendingCount() const;
    // The worker's boxes open now.
    std::vector<QMessageBox*> GetOpenBoxes() const;

    // The text of a box gathering several host notices of one kind.
    static std::string GatheredText(CHostNotice::EKind eKind,
                                    const std::vector<std::string>& arrItems);

private:
    struct SOpenBox {
        QPointer<QMessageBox> pBox;
        std::vector<std::string> arrItems; // host notices gathered so far
    };
    void Show(const std::string& strKey, const CHostNotice* pNotice, const std::string& strText);

    mutable std::mutex m_mtx;
    std::deque<std::pair<bool, CHostNotice>> m_queue; // (a host notice, the message)
    bool m_bClosed = false;
    std::map<std::string, SOpenBox> m_mapOpen; // by kind: the notice's, or the text itself
    QPointer<QWidget> m_pOwner;
    std::function<void(const CHostNotice&)> m_fnNotify;
};
