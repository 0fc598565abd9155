// The keys the player reacts to, and the ones it must leave alone.
#include <SDL.h>
#include <gtest/gtest.h>

#include "platform/system.h"

namespace {

TEST(PlatformControls, KeysMapToTheirControls) {
  struct Case {
    int key, modifiers, control;
  };
  const Case cases[] = {
      {SDLK_RETURN, KMOD_LALT, PLATFORM_CONTROL_FULL_SCREEN},
      {SDLK_RETURN, KMOD_RALT, PLATFORM_CONTROL_FULL_SCREEN},
      {SDLK_RETURN, 0, PLATFORM_CONTROL_NONE},  // Enter alone does nothing
      {SDLK_F11, 0, PLATFORM_CONTROL_FULL_SCREEN},
      {SDLK_SPACE, 0, PLATFORM_CONTROL_PAUSE},
      {SDLK_LEFT, 0, PLATFORM_CONTROL_BACK},
      {SDLK_RIGHT, 0, PLATFORM_CONTROL_FORWARD},
      {SDLK_PAGEUP, 0, PLATFORM_CONTROL_PREVIOUS_SCENE},
      {SDLK_PAGEDOWN, 0, PLATFORM_CONTROL_NEXT_SCENE},
      {SDLK_HOME, 0, PLATFORM_CONTROL_RESTART},
      {SDLK_PLUS, 0, PLATFORM_CONTROL_LOUDER},
      {SDLK_EQUALS, 0, PLATFORM_CONTROL_LOUDER},
      {SDLK_KP_PLUS, 0, PLATFORM_CONTROL_LOUDER},
      {SDLK_MINUS, 0, PLATFORM_CONTROL_SOFTER},
      {SDLK_KP_MINUS, 0, PLATFORM_CONTROL_SOFTER},
      // The show's own keys keep their meaning only.
      {SDLK_ESCAPE, 0, PLATFORM_CONTROL_NONE},
      {SDLK_F12, 0, PLATFORM_CONTROL_NONE},
      {SDLK_a, 0, PLATFORM_CONTROL_NONE},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(SDL_GetKeyName(c.key));
    PlatformEvent event{PLATFORM_EVENT_KEY, c.key, c.modifiers};
    EXPECT_EQ(PlatformControlOf(event), c.control);
  }
  PlatformEvent quit{PLATFORM_EVENT_QUIT, SDLK_SPACE, 0};
  EXPECT_EQ(PlatformControlOf(quit), PLATFORM_CONTROL_NONE);
}

}  // namespace
