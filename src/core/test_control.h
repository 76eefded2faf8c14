#pragma once

class CVantrelDoc;

// Shown by the store at start-up, by the worker when a cycle finds no connection, and by the
// start-tests command.
inline constexpr char NO_CONNECTION_TEXT[] =
    "The internet connection was not detected.\nThe tests will resume after you connect to the "
    "internet.";

// What the store needs of the test engine: the engine starts and stops its worker over the
// store, and answers whether the computer is connected. The store works without one (the
// data tools never start a worker).
class CTestControl {
public:
    virtual ~CTestControl() = default;
    virtual void StartTests(CVantrelDoc& doc) = 0;
    // Returns when the worker has ended.
    virtual void StopTests(CVantrelDoc& doc) = 0;
    virtual bool IsConnected() = 0;
};
