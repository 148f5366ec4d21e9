// Our sync editor's project file.
//
// The input is a project file. Checks that a file that is no project leaves
// the project empty, and that whatever loads (whole, or without its damaged
// parts) is saved and loaded again whole, to the same tracks, keys,
// bookmarks, beat grid and view, and saved again to the same bytes.
#include "fuzz_target.h"

#include "tracker/lib/ProjectFile.h"
#include "tracker/lib/TrackerModel.h"

#include <QFile>
#include <QString>

#include <cmath>
#include <cstring>
#include <fstream>
#include <string>

namespace {

bool sameView(const tracker::ProjectView& a, const tracker::ProjectView& b, int tracks)
{
    for (int t = 0; t < tracks; ++t) {
        const int wa = size_t(t) < a.widths.size() ? a.widths[size_t(t)] : 0;
        const int wb = size_t(t) < b.widths.size() ? b.widths[size_t(t)] : 0;
        if (wa != wb)
            return false;
    }
    return a.collapsedGroups == b.collapsedGroups && a.cursorRow == b.cursorRow && a.cursorTrack == b.cursorTrack;
}

bool same(const tracker::TrackerModel& a, const tracker::TrackerModel& b)
{
    if (a.trackCount() != b.trackCount() || a.rowsPerBeat() != b.rowsPerBeat() || a.bookmarks() != b.bookmarks())
        return false;
    for (int t = 0; t < a.trackCount(); ++t) {
        const SyncTrack& ka = a.keys(t);
        const SyncTrack& kb = b.keys(t);
        if (a.trackName(t) != b.trackName(t) || ka.num_keys != kb.num_keys
            || (ka.num_keys > 0 && std::memcmp(ka.keys, kb.keys, size_t(ka.num_keys) * sizeof(TrackKey)) != 0))
            return false;
    }
    return true;
}

std::string contents(const char* path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

int run(const uint8_t* data, size_t size);

void setup()
{
    enter_fuzz_dir();
    // Qt makes some things once, for good, on first use (the texts of JSON
    // errors, the UTF-8 codec): let it, before anything counts as a leak.
    for (const char* warm : {"{\"tarvonicSyncProject\": 1, \"tracks\": [{\"nameBytes\": \"/w==\"}]}", "{]"})
        run(reinterpret_cast<const uint8_t*>(warm), std::strlen(warm));
}

int run(const uint8_t* data, size_t size)
{
    {
        std::ofstream out("in.rocket", std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), std::streamsize(size));
    }
    tracker::TrackerModel model;
    tracker::ProjectView view;
    const tracker::LoadResult loaded = tracker::loadProject(QStringLiteral("in.rocket"), model, &view);
    if (loaded.status == tracker::LoadResult::Unreadable) {
        fuzz_check(model.trackCount() == 0 && !loaded.message.isEmpty(), "a file that is no project left tracks behind");
        return 0;
    }
    fuzz_check(loaded.status == tracker::LoadResult::Loaded || !loaded.message.isEmpty(),
               "damage left out without a word");
    for (int t = 0; t < model.trackCount(); ++t) {
        const SyncTrack& k = model.keys(t);
        for (int i = 0; i < k.num_keys; ++i)
            fuzz_check(std::isfinite(k.keys[i].value), "a value that is no number was loaded");
    }
    // A project the editor wrote always opens again, whole.
    QString error;
    fuzz_check(tracker::saveProject(QStringLiteral("out.rocket"), model, &error, &view), "the project was not saved");
    tracker::TrackerModel again;
    tracker::ProjectView viewAgain;
    fuzz_check(tracker::loadProject(QStringLiteral("out.rocket"), again, &viewAgain).status
                   == tracker::LoadResult::Loaded,
               "a saved project does not load whole");
    fuzz_check(same(model, again), "the project changed on its way through a file");
    fuzz_check(sameView(view, viewAgain, model.trackCount()), "the view changed on its way through a file");
    const std::string first = contents("out.rocket");
    fuzz_check(tracker::saveProject(QStringLiteral("out.rocket"), again, &error, &viewAgain)
                   && contents("out.rocket") == first,
               "saving the same project twice gave other bytes");
    return 0;
}

} // namespace

FUZZ_TARGET(project_file, setup, run)
