// The extraction run's error messages: each turns a result code of the
// archive library (unace/UnACE.h) into a message box titled "Error" with the
// error icon and one OK button. Each call has its own table; codes a table
// does not know show nothing.
#pragma once

#include <string>

// For a non-zero open result; `archivePath` is the full SOURCE path.
void ShowOpenError(int code, const std::string& archivePath);
// For a non-zero ACEProcessFile result of an entry whose size is not 0.
void ShowProcessError(int code);
// For the non-zero ACEReadHeader result that ends the loop; the normal end
// of the archive has no message.
void ShowHeaderError(int code);
