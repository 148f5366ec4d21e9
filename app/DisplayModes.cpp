#include "app/DisplayModes.h"

#include <QGuiApplication>
#include <QScreen>

namespace app {

std::vector<std::string> listResolutions()
{
    std::vector<std::string> out;
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QSize size = screen->size();
        out.push_back(std::to_string(size.width()) + "x" + std::to_string(size.height()));
    }
    return out;
}

} // namespace app
