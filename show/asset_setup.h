// Loads every file the show draws from and prepares every table the effects
// need, before the first frame, in one fixed order. Returns 1 when every
// picture and texture slot is filled, 0 otherwise.
#pragma once

int AssetSetup(const char* commandLine);
