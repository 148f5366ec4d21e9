#include "tracker/lib/EditorOptions.h"

#include <cstdlib>

namespace tracker {

EditorOptions parseEditorOptions(const QStringList& args)
{
    EditorOptions o;
    for (const QString& arg : args) {
        bool ok = true;
        if (arg.startsWith(QLatin1String("-port:"))) {
            const uint port = arg.mid(6).toUInt(&ok);
            ok = ok && port > 0 && port <= 65535;
            o.port = quint16(port);
        } else if (arg.startsWith(QLatin1String("-file:"))) {
            o.file = arg.mid(6);
            ok = !o.file.isEmpty();
        } else if (arg.startsWith(QLatin1String("-music:"))) {
            o.music = arg.mid(7);
            ok = !o.music.isEmpty();
        } else if (arg.startsWith(QLatin1String("-windowHeight:"))) {
            const int h = arg.mid(14).toInt(&ok);
            // Larger than any screen is as good as no height at all.
            o.windowHeight = ok && h > -65536 && h < 65536 ? std::abs(h) : 0;
        } else {
            ok = false;
        }
        if (!ok && o.error.isEmpty())
            o.error = QStringLiteral("cannot use the argument \"%1\"").arg(arg);
    }
    return o;
}

} // namespace tracker
