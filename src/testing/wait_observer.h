#pragma once

// Told about the user-interface thread's waits for the worker (its end, a host's lock): the
// desktop program shows "Waiting for pings to finish." after the first 100 ms and steps the
// bar after every further 3000 ms. Serve() is called every few milliseconds throughout the
// wait, so that message boxes the worker asks for meanwhile are shown and the two threads
// never wait for each other.
class CWaitObserver {
public:
    virtual ~CWaitObserver() = default;
    virtual void BeginWait() = 0;
    virtual void StepWait() = 0;
    virtual void EndWait() = 0;
    virtual void Serve() = 0;
};
