// Opening the show's data files. Only regular files are opened: a
// directory, a FIFO or a device in a data file's place is refused at once
// (opening a FIFO for reading would otherwise wait for a writer forever).
// Failures come back with the system's reason in words, and one helper
// prints the line that names the full path with that reason.
#pragma once
#include <cstdio>
#include <string>

// Opens the asset path of name for reading ("rb"), or answers null with
// *reason set ("not found", "permission denied", "is a directory", ...).
FILE* OpenDataFile(const char* name, std::string* reason);

// "damaged at byte N", for a reader that stopped at offset N.
std::string DamagedAtByte(long offset);

// Prints "FULL-PATH: reason" on standard error.
void ReportDataFile(const char* name, const std::string& reason);
