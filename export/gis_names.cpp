#include "export/gis_names.h"

#include <strings.h>

#include <cstring>

#include "export/path_extension.h"

namespace {

bool IsShapefile(const char* path)
{
    const std::string_view extension = PathExtension(path);
    return extension.size() == 3 && strncasecmp(extension.data(), "shp", 3) == 0;
}

}  // namespace

std::string GisNameRefusedCharacters(const char* path)
{
    std::string refused;
    if (path == nullptr || !IsShapefile(path)) return refused;
    const char* slash = std::strrchr(path, '/');
    for (const char* c = slash ? slash + 1 : path; *c; ++c)
        if (std::strchr(":\"<>?*\\|", *c) != nullptr && refused.find(*c) == std::string::npos) refused += *c;
    return refused;
}

std::vector<std::string> GisFilesWritten(const char* path)
{
    if (path == nullptr) return {};
    const std::string target = path;
    if (!IsShapefile(path)) return {target};
    std::vector<std::string> files;
    for (const char* layer : {"", "_points"})
        for (const char* extension : {".shp", ".shx", ".dbf", ".prj", ".cpg"})
            files.push_back(GisPlacedName(GisBuiltStem + std::string(layer) + extension, target));
    return files;
}

std::string GisPlacedName(const std::string& built, const std::string& target)
{
    const size_t slash = target.rfind('/');
    const std::string targetFolder = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    const std::string fileName = target.substr(targetFolder.size());
    const std::string stem = fileName.substr(0, fileName.rfind('.'));
    const size_t dot = built.rfind('.');
    const std::string extension = built.substr(dot);
    const std::string builtStem = built.substr(0, dot);
    const std::string_view targetExtension = PathExtension(target);
    if (builtStem == GisBuiltStem && extension.size() == targetExtension.size() + 1 &&
        strncasecmp(extension.c_str() + 1, targetExtension.data(), targetExtension.size()) == 0)
        return target;
    return targetFolder + stem + builtStem.substr(std::strlen(GisBuiltStem)) + extension;
}
