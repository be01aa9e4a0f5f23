#include "platform/FileTypeRegistry.h"

#include <algorithm>

namespace {
bool IsNameCharacter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '_';
}
}  // namespace

bool FileTypeRegistry::Register(const std::string& extension, const std::string& contentType,
                                const std::string& fileTypeId, const std::string& fileTypeName) {
    // Both become names of files or keys: a separator or ".." would reach
    // another place.
    if (extension.size() < 2 || extension.front() != '.' ||
        !std::all_of(extension.begin() + 1, extension.end(), IsNameCharacter))
        return Fail("not a file name extension: \"" + extension + "\"");
    if (fileTypeId.empty() || fileTypeId.front() == '.' ||
        !std::all_of(fileTypeId.begin(), fileTypeId.end(),
                     [](char c) { return c == '.' || IsNameCharacter(c); }))
        return Fail("not a file type id: \"" + fileTypeId + "\"");
    return Write(extension, contentType, fileTypeId, fileTypeName);
}
