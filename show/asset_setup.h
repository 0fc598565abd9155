// Loads every file the show draws from and prepares every table the effects
// need, before the first frame, in one fixed order. Returns 1 when every
// picture and texture slot is filled, 0 otherwise.
#pragma once

int AssetSetup(const char* commandLine);

// Frees what AssetSetup loaded (pictures, textures, scenes, visibility lists)
// and empties the slots that held them. AssetSetup calls it first, so a
// second set-up replaces the first.
void AssetRelease();
