#pragma once
// A notifier for tests: records every box and answers from a script, so no
// test ever waits on a modal box.
#include "platform/Notifier.h"

#include <functional>
#include <string>
#include <vector>

struct RecordedBox {
    std::string text;
    std::string caption;
    platform::NotifyButtons buttons;
    platform::NotifyIcon icon;
};

class RecordingNotifier : public platform::INotifier {
public:
    platform::NotifyAnswer notify(const std::string& text, const std::string& caption,
                                  platform::NotifyButtons buttons, platform::NotifyIcon icon) override;

    std::vector<RecordedBox> boxes;
    // Answers handed out in order; Ok (or No for Yes/No boxes) when used up.
    std::vector<platform::NotifyAnswer> answers;
    // Runs while a box is "open", as the events of a real box's own event
    // loop would.
    std::function<void()> whileOpen;
};

// Installs a fresh recorder as the process-wide notifier and returns it.
RecordingNotifier& installRecordingNotifier();
