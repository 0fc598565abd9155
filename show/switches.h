// The show's command line: one string searched for switches.
#pragma once

// 1-based position of the first occurrence of text in line, 0 when absent.
// A plain case-sensitive substring search; a line shorter than 2 characters
// holds no switch.
int FindSwitch(const char* line, const char* text);

// Reads the integer that follows the two characters of a switch found by
// FindSwitch ("/v", "/b") the way "%i" does; returns fallback when the switch
// is absent or no number follows.
int ReadIntegerSwitch(const char* line, const char* text, int fallback);
