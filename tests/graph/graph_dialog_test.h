#pragma once

#include "core/host.h"
#include "core/message_sink.h"
#include "core/vantrel_doc.h"
#include "gui_test_support.h"
#include "testing/wait_observer.h"
#include <QWidget>
#include <functional>
#include <future>
#include <gtest/gtest.h>
#include <thread>

// The document's message sink and, counting its calls, the wait dialog of a graph command.
class GraphDialogTest : public ::testing::Test, public CMessageSink, public CWaitObserver {
protected:
    static void SetUpTestSuite() { EnsureApp(); }
    void ShowMessage(const std::string&) override {}
    void BeginWait() override { m_strWait += "begin "; }
    void StepWait() override { m_strWait += "step "; }
    void EndWait() override { m_strWait += "end"; }
    void Serve() override {}

    // The dialog's message function: records the text, marked when owned by neither m_parent nor
    // a window of it.
    std::function<void(QWidget*, const std::string&)> Recorder() {
        return [this](QWidget* pOwner, const std::string& strText) {
            m_arrMessages.push_back(pOwner == &m_parent ||
                                            (pOwner && pOwner->parentWidget() == &m_parent)
                                        ? strText
                                        : "(not owned) " + strText);
        };
    }
    // As the test worker: holds the host's lock for 300 ms, then runs fnLast still holding it.
    // Returns once the lock is taken.
    static std::thread HoldLock(CHost& host, std::function<void()> fnLast) {
        std::promise<void> locked;
        std::future<void> taken = locked.get_future();
        std::thread worker([&host, fnLast, promise = std::move(locked)]() mutable {
            std::lock_guard lock(*host.m_pMutex);
            promise.set_value();
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            fnLast();
        });
        taken.wait();
        return worker;
    }

    QWidget m_parent;
    CVantrelDoc m_doc{*this, nullptr};
    std::vector<std::string> m_arrMessages;
    std::string m_strWait;
};
