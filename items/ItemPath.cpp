#include "items/ItemPath.h"

#include "items/ItemTypes.h"

#include <QObject>

#include <cstring>

std::string itemSegmentName(const char* className)
{
    std::string cut = className ? className : "";
    const size_t at = cut.find("_QML");
    if (at != std::string::npos)
        cut.resize(at);

#define SEGMENT_ROW(cppClass, qmlName, segment) {#cppClass, segment},
    static const struct {
        const char* className;
        const char* segment;
    } kSegments[] = {DEMO_ITEM_TYPES(SEGMENT_ROW)};
#undef SEGMENT_ROW
    for (const auto& s : kSegments) {
        if (cut == s.className)
            return s.segment;
    }
    return cut;
}

std::string itemSegmentNameOf(const QMetaObject* meta)
{
    if (!meta)
        return "";
    // Qt marks the meta-objects it makes for QML types in their names.
    const QMetaObject* cpp = meta;
    while (cpp->superClass() && std::strstr(cpp->className(), "_QML"))
        cpp = cpp->superClass();
    return itemSegmentName(cpp->className());
}

std::string childItemPath(const std::string& parentPath, int index, const QObject* child)
{
    return parentPath + "/" + std::to_string(index) + ":=" + itemSegmentNameOf(child->metaObject());
}

SkeneValuePath parseSkeneValuePath(const std::string& pathToItem)
{
    SkeneValuePath parsed;
    const size_t paramPos = pathToItem.find(":/");
    if (paramPos == std::string::npos)
        return parsed;
    parsed.paramPos = pathToItem.substr(paramPos);
    const size_t slash = paramPos == 0 ? std::string::npos : pathToItem.rfind('/', paramPos - 1);
    if (slash == std::string::npos || slash == 0)
        return parsed;
    parsed.hasItemPath = true;
    parsed.itemPath = pathToItem.substr(0, slash);

    const std::string last = pathToItem.substr(slash + 1);
    const size_t assign = last.find(":=");
    const size_t end = last.find(":/");
    if (assign == std::string::npos || end == std::string::npos || assign > end)
        return parsed;
    parsed.propertyName = last.substr(assign + 2, end - assign - 2);
    const size_t old = last.find(":=", end + 2);
    if (old != std::string::npos) {
        parsed.hasOldValue = true;
        parsed.oldValue = last.substr(old + 2);
    }
    return parsed;
}
