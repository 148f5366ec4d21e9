#include "items/SavePointQML.h"

#include "gpu/GpuResources.h"
#include "items/IEffect.h"
#include "items/QmlText.h"
#include "state/DemoDisplay.h"
#include "state/SavePoints.h"

void recordSavePoints(const QQuickItem& meshItem, const glm::mat4& mv, const glm::mat4& m)
{
    bool any = false;
    glm::mat4 projection(1.0f);
    const QList<QQuickItem*> children = meshItem.childItems();
    for (QQuickItem* child : children) {
        const auto* point = qobject_cast<SavePointQML*>(child);
        if (!point)
            continue;
        if (!any) {
            projection = projectionMatrix(gpu().camera.get(), demoDisplay().width, demoDisplay().height);
            any = true;
        }
        const glm::vec4 p(point->savePointX(), point->savePointY(), point->savePointZ(), 1.0f);
        const glm::vec4 world = m * p;
        const glm::vec4 eye = mv * p;
        const glm::vec4 clip = projection * eye;
        SavePointRecord record;
        for (int i = 0; i < 3; ++i) {
            record.world[i] = world[i] / world.w;
            record.screen[i] = clip[i] / clip.w;
            record.eye[i] = eye[i];
        }
        // One name buffer for every save point and frame.
        thread_local std::string name;
        assignText(name, point->target);
        recordSavePoint(name, record);
    }
}
