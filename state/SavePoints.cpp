#include "state/SavePoints.h"

#include "platform/Installed.h"

SavePointTable& savePointTable()
{
    return Installed<SavePointTable>::get();
}

const SavePointRecord* findSavePoint(const std::string& target)
{
    SavePointTable& table = savePointTable();
    ++table.lookups;
    const auto& records = table.records;
    const auto it = records.find(target);
    return it == records.end() ? nullptr : &it->second;
}

void recordSavePoint(const std::string& target, const SavePointRecord& record)
{
    savePointTable().records[target] = record;
}
