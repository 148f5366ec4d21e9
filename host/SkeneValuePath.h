#pragma once
// How the edit view names a property of a running skene item in one text:
//
//   <item path>/<n>:=<property name>:/[<anything>:=<old value>]
//
// for example "/0:=RocketScene/2:=Camera/0:=viewAngle:/:=40". The item path
// is everything before the last "/" that precedes the first ":/"; a "/" at
// the very start does not count. The old value is only there for the log.
#include <string>

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
