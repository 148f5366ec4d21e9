#include "tracker/lib/EditorOptions.h"

#include <cstdlib>

#ifndef TARVONIC_VERSION
#define TARVONIC_VERSION "unknown"
#endif

namespace tracker {

namespace {

// Takes the value; false when it cannot be used.
using Apply = bool (*)(EditorOptions& o, const QString& value);

struct Option {
    const char* name; // ends in ':' when the value follows in the same argument
    const char* alias;
    const char* value;
    const char* help;
    Apply apply;
};

bool setPort(EditorOptions& o, const QString& value)
{
    bool ok = false;
    const uint port = value.toUInt(&ok);
    if (!ok || port == 0 || port > 65535)
        return false;
    o.port = quint16(port);
    return true;
}

bool setFile(EditorOptions& o, const QString& value)
{
    if (value.isEmpty())
        return false;
    o.file = value;
    return true;
}

bool setMusic(EditorOptions& o, const QString& value)
{
    if (value.isEmpty())
        return false;
    o.music = value;
    return true;
}

bool setWindowHeight(EditorOptions& o, const QString& value)
{
    bool ok = false;
    const int h = value.toInt(&ok);
    // Larger than any screen is as good as no height at all.
    o.windowHeight = ok && h > -65536 && h < 65536 ? std::abs(h) : 0;
    return ok;
}

const Option kOptions[] = {
    {"-port:", nullptr, "<n>", "the TCP port on which the demo finds this editor (default 1338)", setPort},
    {"-file:", nullptr, "<project>",
     "the project file to open, and to save into (default tracks.rocket); the same as naming it last", setFile},
    {"-windowHeight:", nullptr, "<h>", "the window's height in pixels (the demo passes it negative)",
     setWindowHeight},
    {"-music:", nullptr, "<mp3>",
     "the music drawn beside the rows (default: the demo's music.mp3, loose or in its data pack)", setMusic},
    {"--help", "-h", nullptr, "print these options and exit",
     [](EditorOptions& o, const QString&) {
         o.help = true;
         return true;
     }},
    {"--version", nullptr, nullptr, "print the version and exit",
     [](EditorOptions& o, const QString&) {
         o.version = true;
         return true;
     }},
};

const Option* findOption(const QString& arg, QString& value)
{
    for (const Option& option : kOptions) {
        const QString name = QLatin1String(option.name);
        if (name.endsWith(QLatin1Char(':')) && arg.startsWith(name)) {
            value = arg.mid(name.size());
            return &option;
        }
        if (arg == name || (option.alias && arg == QLatin1String(option.alias))) {
            value.clear();
            return &option;
        }
    }
    return nullptr;
}

std::vector<platform::OptionHelp> optionHelp()
{
    return platform::optionHelpRows(kOptions);
}

} // namespace

EditorOptions parseEditorOptions(const QStringList& args)
{
    EditorOptions o;
    bool fileNamed = false;
    for (const QString& arg : args) {
        QString value;
        bool ok = true;
        if (const Option* option = findOption(arg, value))
            ok = option->apply(o, value);
        else if (arg.startsWith(QLatin1Char('-')) || arg.isEmpty() || fileNamed)
            ok = false;
        else
            fileNamed = setFile(o, arg);
        if (!ok && o.error.isEmpty())
            o.error = QStringLiteral("cannot use the argument \"%1\"").arg(arg);
    }
    return o;
}

std::string helpText()
{
    return "Usage: sync_editor [options] [project file]\n"
           "The sync editor that a demo starts for live editing: it listens for the demo on a TCP port,\n"
           "shows the tracks the demo's skenes read as columns of keys and saves them in the project\n"
           "file (Ctrl+S); Ctrl+E has the demo write its track files.\n\n" +
           platform::optionListText(optionHelp());
}

std::string versionText()
{
    return std::string("sync_editor ") + TARVONIC_VERSION;
}

platform::ManPage manPage()
{
    using platform::example;
    using platform::item;
    using platform::paragraph;
    platform::ManPage page;
    page.name = "sync_editor";
    page.summary = "edit a demo's sync tracks live";
    page.synopsis = {"[options] [project file]"};
    page.source = std::string("Tarvonic ") + TARVONIC_VERSION;
    page.description = {
        paragraph("sync_editor is the sync editor of Tarvonic. When a demo plays with live editing, tarvonic "
                  "starts one for each rocket (with -port:, -file: and -windowHeight:) and connects to it; the "
                  "editor listens on the loopback interfaces only and serves one demo at a time."),
        paragraph("Each track that the demo's skenes read becomes a column of keys, grouped by its dotted prefix, "
                  "one row for each eighth of a beat at 88 beats a minute. A key typed into the grid reaches the "
                  "demo at once. Space plays and pauses the demo, whose playing row the editor follows; F1 lists "
                  "every shortcut. Ctrl+S saves the project file (JSON, written atomically); Ctrl+E has the demo "
                  "write its track files, sync/sync_<track>.track, which it then plays without any editor."),
    };
    page.options = optionHelp();
    page.sections = {
        {"Exit status",
         {item("0", "the window was closed"), item("1", "an argument it cannot use, or it cannot listen on the port"),
          item("2", "the port is taken: another editor already serves it")}},
        {"Examples", {example("sync_editor -port:1339 -file:fx/intro/Skene.rocket\nsync_editor lumenfall.rocket")}},
        {"See also", {paragraph("tarvonic(1)")}},
    };
    return page;
}

} // namespace tracker
