#pragma once
// Item paths: how the edit view, the skene tree and the value editing name
// one item of a running skene. An item's path is its parent's path, "/", its
// index among the parent's child items (parameter items count too) and
// ":=" followed by its segment name, from the root path "/0:=RocketScene":
// "/0:=RocketScene/2:=Camera".
//
// The edit view names a property of an item in one text:
//
//   <item path>/<n>:=<property name>:/[<anything>:=<old value>]
//
// for example "/0:=RocketScene/2:=Camera/0:=viewAngle:/:=40". The item path
// is everything before the last "/" that precedes the first ":/"; a "/" at
// the very start does not count. The old value is only there for the log.
//
// Paths grow with the tree; none is cut at a fixed length.
#include <string>

class QObject;
struct QMetaObject;

// The segment name of a meta-object class name: cut at the first "_QML"
// (types declared in QML files on top of a class carry such names), then
// looked up in the module's table (items/ItemTypes.h); a class without a
// row keeps its cut name. Null gives "".
std::string itemSegmentName(const char* className);
// The segment name of an object's class: a type declared in a QML file
// ("<File>_QMLTYPE_<n>", or "<Class>_QML_<n>" for one that declares
// properties) takes the segment of the first C++ class it is built on, so a
// Lens.qml on a Camera is a "Camera".
std::string itemSegmentNameOf(const QMetaObject* meta);

// The path of child, the index-th child item of the item at parentPath.
std::string childItemPath(const std::string& parentPath, int index, const QObject* child);

struct SkeneValuePath {
    std::string paramPos; // the text from the first ":/" on; empty without one
    bool hasItemPath = false;
    std::string itemPath;
    std::string propertyName; // empty when the last segment names none
    bool hasOldValue = false;
    std::string oldValue;
};

// Splits pathToItem as above. Any length; a text without ":/", or without
// a "/" after its first character and before the ":/", has no item path.
SkeneValuePath parseSkeneValuePath(const std::string& pathToItem);
