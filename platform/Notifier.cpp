#include "platform/Notifier.h"

#include <QApplication>
#include <QMessageBox>
#include <QString>

namespace platform {

namespace {
std::unique_ptr<INotifier>& slot()
{
    static std::unique_ptr<INotifier> current;
    return current;
}
} // namespace

INotifier& notifier()
{
    auto& s = slot();
    if (!s)
        s = std::make_unique<MessageBoxNotifier>();
    return *s;
}

void setNotifier(std::unique_ptr<INotifier> n)
{
    slot() = std::move(n);
}

NotifyAnswer MessageBoxNotifier::notify(const std::string& text, const std::string& caption,
                                        NotifyButtons buttons, NotifyIcon icon)
{
    QMessageBox::Icon qicon = QMessageBox::NoIcon;
    switch (icon) {
    case NotifyIcon::None: qicon = QMessageBox::NoIcon; break;
    case NotifyIcon::Information: qicon = QMessageBox::Information; break;
    case NotifyIcon::Warning: qicon = QMessageBox::Warning; break;
    case NotifyIcon::Error: qicon = QMessageBox::Critical; break;
    }
    const QMessageBox::StandardButtons qbuttons =
        buttons == NotifyButtons::YesNo ? (QMessageBox::Yes | QMessageBox::No) : QMessageBox::Ok;
    QMessageBox box(qicon, QString::fromStdString(caption), QString::fromStdString(text), qbuttons);
    box.setWindowFlags(box.windowFlags() | Qt::WindowStaysOnTopHint);
    const int answer = box.exec();
    if (answer == QMessageBox::Yes)
        return NotifyAnswer::Yes;
    if (answer == QMessageBox::No)
        return NotifyAnswer::No;
    return NotifyAnswer::Ok;
}

} // namespace platform
