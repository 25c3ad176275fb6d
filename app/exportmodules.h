#pragma once
// The window's side of the writers loaded on demand: a command's module is loaded when the
// command is first used, and a module that cannot be loaded is a message for that command only.
#include <QString>

#include "export/record_formats.h"

// Loads the module of command's formats, if they have one. true, or false with the message to
// show in *message ("GIS 导出不可用：…").
bool LoadCommandWriters(ExportCommand command, QString* message);
