// The Demo item's answers to QML about save points, from the save-point
// table through the frame's cache.
#include "host/DemoQML.h"

#include "state/FrameState.h"
#include "state/SavePoints.h"

namespace {

// What this frame says about target: the table's record, looked up at the
// frame's first question about the name, or zeros when there is none.
const SavePointRecord& savePointValues(const QString& target)
{
    SavePointQuery& query = frameState().savePointQuery;
    const std::string name = target.toStdString();
    for (const SavePointQuery::Answer& answer : query.answers) {
        if (answer.name == name)
            return answer.values;
    }
    SavePointQuery::Answer answer;
    answer.name = name;
    if (const SavePointRecord* record = findSavePoint(name))
        answer.values = *record;
    query.answers.push_back(answer);
    return query.answers.back().values;
}

} // namespace

float DemoQML::savePointX(QString target) { return savePointValues(target).world[0]; }
float DemoQML::savePointY(QString target) { return savePointValues(target).world[1]; }
float DemoQML::savePointZ(QString target) { return savePointValues(target).world[2]; }
float DemoQML::savePointX2D(QString target) { return savePointValues(target).screen[0]; }
float DemoQML::savePointY2D(QString target) { return savePointValues(target).screen[1]; }
float DemoQML::savePointZ2D(QString target) { return savePointValues(target).screen[2]; }
float DemoQML::savePointCX(QString target) { return savePointValues(target).eye[0]; }
float DemoQML::savePointCY(QString target) { return savePointValues(target).eye[1]; }
float DemoQML::savePointCZ(QString target) { return savePointValues(target).eye[2]; }
