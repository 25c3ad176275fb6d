#pragma once
// How a record is named to a reader: the name of its file and the name of its kind.

// The part of path after its last '/' or '\'.
const char* RecordFileName(const char* path);

// "Area", "Vehicle" or "Distance"; any other value is an area, as the loader treats it.
const char* MeasureTypeName(int type);

// The same in Chinese, UTF-8: "面积", "车辆" or "距离".
const char* MeasureTypeText(int type);
