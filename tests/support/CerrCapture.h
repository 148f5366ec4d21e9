#pragma once
// Captures what is written to std::cerr while it lives.
#include <iostream>
#include <sstream>
#include <string>

class CerrCapture {
public:
    CerrCapture() : previous_(std::cerr.rdbuf(captured_.rdbuf())) {}
    ~CerrCapture() { std::cerr.rdbuf(previous_); }
    CerrCapture(const CerrCapture&) = delete;
    CerrCapture& operator=(const CerrCapture&) = delete;

    std::string text() const { return captured_.str(); }
    // How often line occurs in what was written.
    int count(const std::string& text) const
    {
        const std::string all = captured_.str();
        int n = 0;
        for (size_t at = all.find(text); at != std::string::npos; at = all.find(text, at + text.size()))
            ++n;
        return n;
    }

private:
    std::ostringstream captured_;
    std::streambuf* previous_;
};
