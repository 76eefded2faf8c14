#pragma once

#include <string>

// Where the store and the test worker show their message boxes. The desktop program shows
// an OK-only, top-most box and returns when the user closes it; the command-line companion
// prints the text. Texts are ISO-8859-1.
class CMessageSink {
public:
    virtual ~CMessageSink() = default;
    virtual void ShowMessage(const std::string& strText) = 0;
};
