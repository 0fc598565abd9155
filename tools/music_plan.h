// The soundtrack's plan on the show's clock: one section per scene change of
// the script, the tempo, and where the music has died away. The generator
// composes on it; the sound report measures the decoded file against it.
#pragma once

inline constexpr float kMusicSectionStarts[] = {0.0f,   29.3f,  58.0f,  72.6f,  87.0f,  99.0f,
                                                115.8f, 130.2f, 144.6f, 166.5f, 173.6f, 180.6f,
                                                195.0f, 224.0f, 238.0f, 247.2f, 252.2f};
inline constexpr int kMusicSections = sizeof(kMusicSectionStarts) / sizeof(kMusicSectionStarts[0]);
// The last section ends with the show; the music is silent from then on.
inline constexpr float kMusicEnd = 266.0f;
// The one section kept deliberately quiet (a held breath before the beat).
inline constexpr int kMusicQuietSection = 9;
// 150 beats a minute, four beats to the bar, four bars to the phrase.
inline constexpr float kMusicBeat = 0.4f;
inline constexpr float kMusicPhrase = 16 * kMusicBeat;
