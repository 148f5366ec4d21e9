#include "state/ActiveSkeneList.h"

#include "platform/Installed.h"

#include "platform/Files.h"
#include "state/SkeneSetups.h"
#include "state/rocket_flags.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>

ActiveSkeneList& activeSkeneList()
{
    return Installed<ActiveSkeneList>::get();
}

namespace {

const char kNamePrefix[] = "skene:";
const char kPortPrefix[] = "port:";

bool startsWith(const std::string& text, const char* prefix)
{
    return text.compare(0, std::char_traits<char>::length(prefix), prefix) == 0;
}

// The port text as a decimal int the way the C library reads it: leading
// blanks, an optional sign, digits, anything after them ignored. 0 when it
// does not parse or does not fit an int.
int parsePort(const std::string& text)
{
    errno = 0;
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (end == text.c_str() || errno == ERANGE || value > INT_MAX || value < INT_MIN)
        return 0;
    return int(value);
}

} // namespace

std::string formatActiveSkenes(const std::vector<ActiveSkene>& entries)
{
    std::string out;
    for (const ActiveSkene& e : entries) {
        out += kNamePrefix;
        out += e.name;
        out += '\0';
        out += kPortPrefix;
        out += std::to_string(e.rocketIndex);
        out += '\0';
        out += '\n';
    }
    return out;
}

std::vector<ActiveSkene> parseActiveSkenes(const std::string& bytes)
{
    std::vector<ActiveSkene> entries;
    std::string field;        // bytes since the last NUL or line feed
    std::string pendingName;
    std::string pendingPort;
    bool fieldTooLong = false;  // the current field overran the line buffer
    bool recordBroken = false;  // some field of this record did
    bool recordHasFields = false;

    auto endRecord = [&] {
        const int port = parsePort(pendingPort);
        if (!recordBroken && port > 0 && !pendingName.empty())
            entries.push_back({pendingName, port});
        pendingName.clear();
        pendingPort.clear();
        field.clear();
        fieldTooLong = recordBroken = recordHasFields = false;
    };

    for (const char c : bytes) {
        if (c == '\n') {
            endRecord();
        } else if (c == '\0') {
            if (fieldTooLong)
                recordBroken = true;
            else if (startsWith(field, kNamePrefix))
                pendingName = field.substr(sizeof kNamePrefix - 1);
            else if (startsWith(field, kPortPrefix))
                pendingPort = field.substr(sizeof kPortPrefix - 1);
            recordHasFields = true;
            field.clear();
            fieldTooLong = false;
        } else if (field.size() < kSetupFieldMaxBytes) {
            field += c;
        } else {
            fieldTooLong = true;
        }
    }
    // A hand-edited file may lack the last line feed; its last record still
    // counts when its fields were complete.
    if (recordHasFields)
        endRecord();
    return entries;
}

bool readActiveSkenes()
{
    // A folder or an unreadable file must not wipe the list.
    std::string bytes;
    if (!platform::readWholeFile(activeSkeneList().setupPath, bytes))
        return false;
    activeSkeneList().entries = parseActiveSkenes(bytes);
    return true;
}

bool writeActiveSkenes()
{
    return writeTextFile(activeSkeneList().setupPath, formatActiveSkenes(activeSkeneList().entries));
}

bool isStorableSkeneName(const std::string& name)
{
    return !name.empty() && name.find('\0') == std::string::npos && name.find('\n') == std::string::npos
           && name.size() + sizeof kNamePrefix - 1 <= kSetupFieldMaxBytes;
}

bool addActiveSkene(const std::string& name)
{
    std::vector<ActiveSkene>& entries = activeSkeneList().entries;
    if (!isStorableSkeneName(name) || isActiveSkene(name))
        return false;
    for (int index = kFirstRocketIndex; index <= kLastRocketIndex; ++index) {
        const bool used = std::any_of(entries.begin(), entries.end(),
                                      [index](const ActiveSkene& e) { return e.rocketIndex == index; });
        if (!used) {
            entries.push_back({name, index});
            writeActiveSkenes();
            return true;
        }
    }
    return false;
}

bool removeActiveSkene(const std::string& name)
{
    std::vector<ActiveSkene>& entries = activeSkeneList().entries;
    const int at = activeSkenePosition(name);
    if (at < 0)
        return false;
    entries.erase(entries.begin() + at);
    writeActiveSkenes();
    return true;
}

bool moveActiveSkene(const std::string& name, int newIndex)
{
    std::vector<ActiveSkene>& entries = activeSkeneList().entries;
    const int oldIndex = activeSkenePosition(name);
    if (oldIndex < 0)
        return false;
    const ActiveSkene moved = entries[size_t(oldIndex)];
    entries.erase(entries.begin() + oldIndex);
    // newIndex names a drop position in the list before the removal, so
    // past the old place it counts one too many. Dropped onto its own place
    // the entry stays.
    int t = newIndex <= oldIndex ? newIndex : newIndex - 1;
    t = std::max(t, 0);
    if (size_t(t) >= entries.size())
        entries.push_back(moved);
    else
        entries.insert(entries.begin() + t, moved);
    writeActiveSkenes();
    return true;
}

bool isActiveSkene(const std::string& name)
{
    return activeSkenePosition(name) >= 0;
}

int activeSkenePosition(const std::string& name)
{
    const std::vector<ActiveSkene>& entries = activeSkeneList().entries;
    for (size_t i = 0; i < entries.size(); ++i) {
        if (entries[i].name == name)
            return int(i);
    }
    return -1;
}

int effectiveRocketIndex(const ActiveSkene& entry)
{
    return rocket_flags().multi_rocket ? entry.rocketIndex : 0;
}

int effectiveRocketIndex(const std::string& name)
{
    const int at = activeSkenePosition(name);
    return at < 0 ? 0 : effectiveRocketIndex(activeSkeneList().entries[size_t(at)]);
}

std::string readCurrentSetupName(const std::string& fxPath)
{
    // Most text editors end the last line; that line end is no part of the
    // name (it would select a setup that does not exist, and the next save
    // would write one whose name ends in it).
    std::string name = readTextFile(currentSetupFilePath(fxPath));
    if (!name.empty() && name.back() == '\n')
        name.pop_back();
    if (!name.empty() && name.back() == '\r')
        name.pop_back();
    return name;
}

bool writeCurrentSetupName(const std::string& fxPath, const std::string& setupName)
{
    return writeTextFile(currentSetupFilePath(fxPath), setupName);
}

std::string setupFilePath(const std::string& fxPath, const std::string& setupName)
{
    return fxPath + "/_ActiveSkeneSetups/" + setupName;
}

std::vector<std::string> orderSetupFiles(const std::vector<std::string>& setupFiles,
                                         const std::string& currentSetupName)
{
    std::vector<std::string> first, rest;
    for (const auto& name : setupFiles)
        (name == currentSetupName ? first : rest).push_back(name);
    first.insert(first.end(), rest.begin(), rest.end());
    return first;
}
