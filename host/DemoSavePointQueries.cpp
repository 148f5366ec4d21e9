// The Demo item's answers to QML about save points, from the save-point
// table through the frame's one-name cache.
#include "host/DemoQML.h"

#include "state/FrameState.h"
#include "state/SavePoints.h"

namespace {

// The cached values for target, looking the table up when the frame has not
// been asked about that name yet.
const SavePointQuery& savePointValues(const QString& target)
{
    SavePointQuery& query = frameState().savePointQuery;
    const std::string name = target.toStdString();
    if (name != query.name) {
        query.clear();
        query.name = name;
        if (const SavePointRecord* record = findSavePoint(name)) {
            for (int i = 0; i < 3; ++i) {
                query.world[i] = record->world[i];
                query.screen[i] = record->screen[i];
                query.camera[i] = record->eye[i];
            }
        }
    }
    return query;
}

} // namespace

float DemoQML::savePointX(QString target) { return savePointValues(target).world[0]; }
float DemoQML::savePointY(QString target) { return savePointValues(target).world[1]; }
float DemoQML::savePointZ(QString target) { return savePointValues(target).world[2]; }
float DemoQML::savePointX2D(QString target) { return savePointValues(target).screen[0]; }
float DemoQML::savePointY2D(QString target) { return savePointValues(target).screen[1]; }
float DemoQML::savePointZ2D(QString target) { return savePointValues(target).screen[2]; }
float DemoQML::savePointCX(QString target) { return savePointValues(target).camera[0]; }
float DemoQML::savePointCY(QString target) { return savePointValues(target).camera[1]; }
float DemoQML::savePointCZ(QString target) { return savePointValues(target).camera[2]; }
