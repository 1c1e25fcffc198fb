// Handing a file to the desktop's "open" action (the program registered for
// its type). Tests switch on recording to see the calls instead.
#pragma once

#include <string>
#include <vector>

// Opens `path` with the desktop's default program; the result is not reported.
void ShellOpen(const std::string& path);

void SetShellRecording(bool on);
const std::vector<std::string>& RecordedShellOpens();
void ClearRecordedShellOpens();
