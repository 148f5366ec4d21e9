#pragma once
// Modal message boxes go through one notifier. The program shows a
// QMessageBox; tests install a recorder that answers at once, so no test can
// ever block on a box.
#include <memory>
#include <string>

namespace platform {

enum class NotifyButtons { Ok, YesNo };
enum class NotifyIcon { None, Information, Warning, Error };
enum class NotifyAnswer { Ok, Yes, No };

class INotifier {
public:
    virtual ~INotifier() = default;
    // Shows text with caption and waits for the answer.
    virtual NotifyAnswer notify(const std::string& text, const std::string& caption,
                                NotifyButtons buttons, NotifyIcon icon) = 0;
};

// The process-wide notifier. Until one is installed, a QMessageBox notifier.
INotifier& notifier();

// Replaces the process-wide notifier (tests install a recorder).
void setNotifier(std::unique_ptr<INotifier> n);

// Shows a modal QMessageBox with the same text, caption, buttons and icon.
class MessageBoxNotifier : public INotifier {
public:
    NotifyAnswer notify(const std::string& text, const std::string& caption,
                        NotifyButtons buttons, NotifyIcon icon) override;
};

} // namespace platform
