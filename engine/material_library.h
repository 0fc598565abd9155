// Each scene's material table doubles as its texture library: materials are
// registered by name (the default one first), and textures decoded elsewhere
// are attached to them by name afterwards.
#pragma once
#include <cstdint>

#include "raster/material.h"

struct Scene;
struct Face;

// The next free entry of the table, named, without a texture; null when the
// table is full. Duplicate names are allowed.
Material* MaterialAdd(Scene* scene, const char* name);

// First material of that name in table order, or null.
Material* MaterialFind(Scene* scene, const char* name);

// Attaches texels of the given size code and prepares the addressing
// constants; size codes 1..4 (square) also set width and height.
void MaterialSetTexture(Material* material, int32_t mode, int32_t modeParam,
                        const uint32_t* texels, int32_t sizeCode);

// Binds a texture to the first material of that name. An unknown name prints
// the name and "texture not in library" and changes nothing; returns 0 then.
int TextureLibraryBind(Scene* scene, const char* name, const uint32_t* texels, int32_t mode,
                       int32_t modeParam, int32_t sizeCode);

// Sets colour and opacity of the named material; 0 when there is none.
int MaterialSetColour(Scene* scene, const char* name, float r, float g, float b, float opacity);

// The material a face is drawn with: its own when that has a texture, else
// the scene's default.
Material* FaceDrawMaterial(const Face* face);
