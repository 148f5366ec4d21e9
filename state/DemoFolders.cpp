#include "state/DemoFolders.h"

#include "platform/Files.h"

DemoFolders& demoFolders()
{
    static DemoFolders folders;
    return folders;
}

void resetDemoFolders()
{
    demoFolders() = DemoFolders();
}

bool demoFileReadable(const std::string& name)
{
    return platform::canOpenForReading(demoFolders().rootDir + "/" + name) || platform::canOpenForReading(name);
}
