#include "support/LogCapture.h"

#include <QString>

#include <algorithm>

namespace {

LogCapture* current = nullptr;

} // namespace

LogCapture::LogCapture()
    : outer_(current)
{
    current = this;
    previous_ = qInstallMessageHandler(&LogCapture::record);
}

LogCapture::~LogCapture()
{
    current = outer_;
    qInstallMessageHandler(previous_);
}

bool LogCapture::contains(const std::string& text) const
{
    return std::find(lines_.begin(), lines_.end(), text) != lines_.end();
}

void LogCapture::record(QtMsgType, const QMessageLogContext&, const QString& text)
{
    if (current)
        current->lines_.push_back(text.toStdString());
}
