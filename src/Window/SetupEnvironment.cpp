#include "Window/SetupEnvironment.h"

#include "log/Log.h"

void CSetupEnvironment::InitEnvironment() { LogInit(L"pelarin_down.log", nullptr); }
void CSetupEnvironment::LogStartupLines() { LOG_INFO("started"); }
