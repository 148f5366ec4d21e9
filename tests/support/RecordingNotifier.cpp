#include "support/RecordingNotifier.h"

#include <memory>

platform::NotifyAnswer RecordingNotifier::notify(const std::string& text, const std::string& caption,
                                                 platform::NotifyButtons buttons, platform::NotifyIcon icon)
{
    boxes.push_back({text, caption, buttons, icon});
    if (whileOpen)
        whileOpen();
    if (!answers.empty()) {
        const platform::NotifyAnswer a = answers.front();
        answers.erase(answers.begin());
        return a;
    }
    return buttons == platform::NotifyButtons::YesNo ? platform::NotifyAnswer::No
                                                     : platform::NotifyAnswer::Ok;
}

RecordingNotifier& installRecordingNotifier()
{
    auto recorder = std::make_unique<RecordingNotifier>();
    RecordingNotifier& ref = *recorder;
    platform::setNotifier(std::move(recorder));
    return ref;
}
