#pragma once

// The worker's only message to the user interface: host nIndex changed. Posted, never
// sent: the worker does not wait for the receiver.
class CRowUpdateSink {
public:
    virtual ~CRowUpdateSink() = default;
    virtual void PostHostUpdated(int nIndex) = 0;
};
