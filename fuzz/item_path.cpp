// The item-path text by which the edit view names a property of a running
// skene item ("/0:=RocketScene/2:=Camera/0:=viewAngle:/:=40").
//
// Any text: every part the parse hands out is the piece of the text it
// claims to be. Then the bytes as three pieces, an item path, a property
// name and an old value, put together the way the edit view writes them:
// where the pieces can be told apart, the parse gives each one back.
#include "fuzz_target.h"

#include "items/ItemPath.h"

#include <string>

namespace {

bool endsWith(const std::string& text, size_t at, const std::string& piece)
{
    return piece.size() <= at && text.compare(at - piece.size(), piece.size(), piece) == 0;
}

void checkPieces(const std::string& text)
{
    const SkeneValuePath parsed = parseSkeneValuePath(text);
    const size_t paramPos = text.find(":/");
    if (paramPos == std::string::npos) {
        fuzz_check(parsed.paramPos.empty() && !parsed.hasItemPath, "parts without a \":/\"");
        return;
    }
    fuzz_check(parsed.paramPos == text.substr(paramPos), "the text from \":/\" on is not the text's");
    if (!parsed.hasItemPath) {
        fuzz_check(parsed.itemPath.empty() && parsed.propertyName.empty() && !parsed.hasOldValue,
                   "parts without an item path");
        return;
    }
    const size_t slash = parsed.itemPath.size();
    fuzz_check(slash > 0 && slash < paramPos, "an item path that is not before the \":/\"");
    fuzz_check(text.compare(0, slash, parsed.itemPath) == 0 && text[slash] == '/',
               "an item path that does not start the text and end at a \"/\"");
    fuzz_check(text.find('/', slash + 1) >= paramPos + 1, "a \"/\" between the item path and its \":/\"");
    if (!parsed.propertyName.empty())
        fuzz_check(endsWith(text, paramPos, ":=" + parsed.propertyName), "a property name not before the \":/\"");
    if (parsed.hasOldValue) {
        fuzz_check(!parsed.propertyName.empty() || text.find(":=", slash + 1) < paramPos,
                   "an old value without a property segment");
        fuzz_check(endsWith(text, text.size(), ":=" + parsed.oldValue), "an old value that does not end the text");
    } else {
        fuzz_check(parsed.oldValue.empty(), "an old value without one");
    }
}

// What the edit view writes cannot be split back when a piece holds the
// marks that end the one before it.
bool writable(const std::string& item, const std::string& name)
{
    return !item.empty() && item.find(":/") == std::string::npos && item.back() != ':'
        && !name.empty() && name.find('/') == std::string::npos && name.find(":/") == std::string::npos;
}

int run(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    checkPieces(text);

    const size_t first = text.find('\n');
    const size_t second = first == std::string::npos ? std::string::npos : text.find('\n', first + 1);
    if (second == std::string::npos)
        return 0;
    const std::string item = text.substr(0, first);
    const std::string name = text.substr(first + 1, second - first - 1);
    const std::string old = text.substr(second + 1);
    if (!writable(item, name))
        return 0;
    const SkeneValuePath parsed = parseSkeneValuePath(item + "/0:=" + name + ":/:=" + old);
    fuzz_check(parsed.hasItemPath && parsed.itemPath == item, "the item path not given back");
    fuzz_check(parsed.propertyName == name, "the property name not given back");
    fuzz_check(parsed.hasOldValue && parsed.oldValue == old, "the old value not given back");
    return 0;
}

} // namespace

FUZZ_TARGET(item_path, nullptr, run)
