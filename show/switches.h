// The show's command line: one string searched for switches.
#pragma once
#include <string>

// 1-based position of the first occurrence of text in line, 0 when absent.
// A plain case-sensitive substring search; a line shorter than 2 characters
// holds no switch.
int FindSwitch(const char* line, const char* text);

// Reads the integer that follows the two characters of a switch found by
// FindSwitch ("/v", "/b") the way "%i" does; returns fallback when the switch
// is absent or no number follows.
int ReadIntegerSwitch(const char* line, const char* text, int fallback);

// The program's version, from the build's project version.
const char* ProgramVersion();

// What the words of the command line ask for before the show starts. Words
// that begin with '-' are options in the usual sense, and only "--help" and
// "--version" are known (a number such as the "-1" of "/v -1" is a value, not
// an option); any other is refused, naming it in *refused. Then "/help" or
// "--help" anywhere asks for the usage, "/version" or "--version" for the
// version. line is the show's command line for the find-anywhere search.
enum ArgumentVerdict { ARGUMENTS_RUN = 0, ARGUMENTS_REFUSED, ARGUMENTS_HELP, ARGUMENTS_VERSION };
ArgumentVerdict CheckArguments(int argc, const char* const* argv, const char* line,
                               std::string* refused);

// The warning for a "/v" display mode outside -1..5 (the display then picks
// the first mode that works); empty for a mode it knows.
std::string DisplayModeWarning(int modeIndex);
