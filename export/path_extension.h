#pragma once
// A path's extension: what follows the last '.' of its last component, without the dot; empty
// when that component has none. The export formats are told apart by it.
#include <string_view>

inline std::string_view PathExtension(std::string_view path)
{
    const size_t dot = path.rfind('.');
    const size_t slash = path.rfind('/');
    if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash)) return {};
    return path.substr(dot + 1);
}
