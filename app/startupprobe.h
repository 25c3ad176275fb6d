#pragma once
// The program's start-up as a whole process, for the benchmarks: with VARNEL_STARTUP_PROBE set
// to "painted" the window closes itself once it has been painted for the first time, with "map"
// once its map page has loaded as well, so that timing the process times its start.
#include <QDialog>

// Arms the probe on window when the variable asks for it; otherwise does nothing.
void ArmStartupProbe(QDialog& window);
