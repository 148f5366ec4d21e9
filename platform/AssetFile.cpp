#include "platform/AssetFile.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <new>
#include <string>

namespace {

const char* const kDataPack = "datapack.dat";
// Bytes of an entry's name before its NUL that the pack format allows.
constexpr size_t kMaxNameBytes = 254;

// Allocates length bytes (plus the NUL in text mode) and fills them from
// file. Null when memory runs out or the file holds fewer bytes than
// promised.
char* readContent(FILE* file, size_t length, bool textMode)
{
    char* data = new (std::nothrow) char[length + (textMode ? 1 : 0)];
    if (!data)
        return nullptr;
    if (length > 0 && std::fread(data, 1, length, file) != length) {
        delete[] data;
        return nullptr;
    }
    if (textMode)
        data[length] = '\0';
    return data;
}

// Only a regular file counts as a loose file: a directory of the same name
// opens for reading on Linux but has no content.
bool isRegularFile(FILE* file, size_t& size)
{
    struct stat info {};
    if (fstat(fileno(file), &info) != 0 || !S_ISREG(info.st_mode) || info.st_size < 0)
        return false;
    size = size_t(info.st_size);
    return true;
}

int loadLooseFile(const char* path, char** outData, size_t* outSize, bool textMode, bool& opened)
{
    opened = false;
    FILE* file = std::fopen(path, "rb");
    if (!file)
        return AssetNotFound;
    size_t length = 0;
    if (!isRegularFile(file, length)) {
        std::fclose(file);
        return AssetNotFound;
    }
    opened = true;
    char* data = readContent(file, length, textMode);
    std::fclose(file);
    if (!data)
        return AssetNotFound;
    *outData = data;
    if (outSize)
        *outSize = length;
    return AssetFromLooseFile;
}

int loadFromDataPack(const char* path, char** outData, size_t* outSize, bool textMode)
{
    FILE* pack = std::fopen(kDataPack, "rb");
    if (!pack)
        return AssetNotFound;
    size_t packSize = 0;
    if (!isRegularFile(pack, packSize)) {
        std::fclose(pack);
        return AssetNotFound;
    }

    int result = AssetNotFound;
    size_t offset = 0; // where the next entry starts
    std::string name;
    while (offset < packSize) {
        // The stored path, up to and including its NUL. Only its first 254
        // bytes count: a longer name (or a damaged pack without a NUL for
        // megabytes) is skipped to its end without growing the string.
        name.clear();
        size_t nameBytes = 0;
        int c = 0;
        while ((c = std::fgetc(pack)) != EOF && c != '\0') {
            if (name.size() < kMaxNameBytes)
                name.push_back(char(c));
            ++nameBytes;
        }
        if (c == EOF)
            break; // ends inside a name
        offset += nameBytes + 1;

        unsigned char bytes[4];
        if (packSize - offset < 4 || std::fread(bytes, 1, 4, pack) != 4)
            break; // ends inside a length
        offset += 4;
        const size_t length = size_t(bytes[0]) | size_t(bytes[1]) << 8 | size_t(bytes[2]) << 16
                            | size_t(bytes[3]) << 24;
        if (length > packSize - offset)
            break; // ends inside a content: never allocate what is not there

        if (name.find(path) != std::string::npos) {
            char* data = readContent(pack, length, textMode);
            if (data) {
                *outData = data;
                if (outSize)
                    *outSize = length;
                result = AssetFromDataPack;
            }
            break;
        }
        offset += length;
        if (std::fseek(pack, long(offset), SEEK_SET) != 0)
            break;
    }
    std::fclose(pack);
    return result;
}

} // namespace

int loadAssetFile(const char* path, char** outData, size_t* outSize, bool textMode)
{
    if (outSize)
        *outSize = 0;
    if (!outData)
        return AssetNotFound;
    delete[] *outData;
    *outData = nullptr;
    if (!path || !*path)
        return AssetNotFound;

    bool opened = false;
    const int loose = loadLooseFile(path, outData, outSize, textMode, opened);
    if (opened)
        return loose;
    return loadFromDataPack(path, outData, outSize, textMode);
}
