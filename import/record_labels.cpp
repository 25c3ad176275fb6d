#include "import/record_labels.h"

#include "import/record.h"

const char* RecordFileName(const char* path)
{
    const char* name = path;
    for (const char* c = path; *c; ++c)
        if (*c == '/' || *c == '\\') name = c + 1;
    return name;
}

const char* MeasureTypeName(int type)
{
    switch (type) {
    case Vehicle: return "Vehicle";
    case Distance: return "Distance";
    default: return "Area";
    }
}

const char* MeasureTypeText(int type)
{
    switch (type) {
    case Vehicle: return "车辆";
    case Distance: return "距离";
    default: return "面积";
    }
}
