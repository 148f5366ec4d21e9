// Our sync editor's project file.
//
// The input is a project file. Checks that a file that does not load leaves
// the project empty, and that a file that loads is saved and loaded again
// to the same tracks, keys, bookmarks and beat grid, and saved again to the
// same bytes.
#include "fuzz_target.h"

#include "tracker/lib/ProjectFile.h"
#include "tracker/lib/TrackerModel.h"

#include <QFile>
#include <QString>

#include <cstring>
#include <fstream>
#include <string>

namespace {

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
    const tracker::LoadResult loaded = tracker::loadProject(QStringLiteral("in.rocket"), model);
    if (loaded.status != tracker::LoadResult::Loaded) {
        fuzz_check(model.trackCount() == 0 && !loaded.message.isEmpty(), "a damaged file left tracks behind");
        return 0;
    }
    QString error;
    fuzz_check(tracker::saveProject(QStringLiteral("out.rocket"), model, &error), "the project was not saved");
    tracker::TrackerModel again;
    fuzz_check(tracker::loadProject(QStringLiteral("out.rocket"), again).status == tracker::LoadResult::Loaded,
               "a saved project does not load");
    fuzz_check(same(model, again), "the project changed on its way through a file");
    const std::string first = contents("out.rocket");
    fuzz_check(tracker::saveProject(QStringLiteral("out.rocket"), again, &error) && contents("out.rocket") == first,
               "saving the same project twice gave other bytes");
    return 0;
}

} // namespace

FUZZ_TARGET(project_file, setup, run)
