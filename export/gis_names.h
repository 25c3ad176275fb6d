#pragma once
// The names of the files a GIS export writes, decided before GDAL is loaded: the converter checks
// them against each other, and a name a format cannot keep is refused before anything is written.
#include <string>
#include <vector>

// The characters of path's file name that its format cannot keep in a name, each once in the
// order they come: those a Shapefile's driver would replace (: " < > ? * \ |), which would make it
// write other files than the ones asked for. Empty for a name it keeps, and for other formats.
std::string GisNameRefusedCharacters(const char* path);

// Every file a GIS export of path writes: path itself, and for a Shapefile NAME.shx, .dbf, .prj,
// .cpg and NAME_points.shp, .shx, .dbf, .prj, .cpg beside it.
std::vector<std::string> GisFilesWritten(const char* path);

// The files are made under this name, and given the target's only when they are placed: GDAL
// takes a backslash in a name for a folder's, and its Shapefile driver replaces characters.
inline constexpr char GisBuiltStem[] = "built";

// Where a file made as built (GisBuiltStem, or GisBuiltStem + "_points", and an extension) goes:
// the target itself, or beside it under the target's stem (NAME.shx, NAME_points.dbf).
std::string GisPlacedName(const std::string& built, const std::string& target);
