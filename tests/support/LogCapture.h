#pragma once
// Captures the debug log (Qt's message handler) while it lives, so a test
// can check the system's own log lines. One at a time: a capture made while
// another lives takes over until it ends, then the earlier one goes on.
#include <QtGlobal>

#include <string>
#include <vector>

class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    // Every line logged since the capture began (or since clear()), in order.
    const std::vector<std::string>& lines() const { return lines_; }
    // True when some line equals text exactly.
    bool contains(const std::string& text) const;
    void clear() { lines_.clear(); }

private:
    static void record(QtMsgType, const QMessageLogContext&, const QString& text);

    std::vector<std::string> lines_;
    LogCapture* outer_ = nullptr;
    QtMessageHandler previous_ = nullptr;
};
