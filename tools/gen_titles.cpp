// Keyed pictures: the four titles, the five words and the corner logo. The
// background is the key colour (the effects skip pixels equal to the first
// pixel), and nothing is blended into it, so no key-tinted fringe survives.
#include "image/asset_names.h"
#include "tools/generator.h"

namespace {

const Rgb kKey = Hex(0xFF00FF);

void HardRect(Canvas* c, int x0, int y0, int x1, int y1, Rgb colour) {
  for (int y = std::max(0, y0); y < std::min(c->height, y1); y++)
    for (int x = std::max(0, x0); x < std::min(c->width, x1); x++) At(c, x, y) = colour;
}

// A thin bar that fades to the side in whole steps: bright centre, darker
// ends, never the key colour.
void Rule(Canvas* c, int cx, int y, int halfWidth, Rgb centre, Rgb end) {
  for (int x = cx - halfWidth; x < cx + halfWidth; x++) {
    float t = std::floor(std::fabs(static_cast<float>(x - cx)) / halfWidth * 8.0f) / 8.0f;
    HardRect(c, x, y, x + 1, y + 2, Mix(centre, end, t));
  }
}

const TextStyle kTitleStyle = {Hex(0xFFF6E8), Hex(0xE8A050), Hex(0x1A0C14), 2, Hex(0x000000), 4};
const TextStyle kLineStyle = {Hex(0xFFFFFF), Hex(0xB8C8FF), Hex(0x101020), 1, Hex(0x000000), 2};
const TextStyle kWordStyle = {Hex(0xFFFFFF), Hex(0xFF9CC8), Hex(0x2A0820), 2, Hex(0x000000), 3};
const TextStyle kLogoStyle = {Hex(0xF0F0F0), Hex(0x9090A0), Hex(0x101010), 1, Hex(0x000000), 0};

}  // namespace

void GenerateTitles(AssetOutput* out) {
  // Title 1: the name, centred.
  Canvas t1 = MakeCanvas(320, 240, kKey);
  DrawTextCentred(&t1, "Kestrivane", 84, 5, kTitleStyle);
  Rule(&t1, 160, 140, 120, Hex(0xFFE0B0), Hex(0x603020));
  DrawTextCentred(&t1, "a real-time show", 152, 2, kLineStyle);
  OutputPcx(out, kGfxTitle1.name, t1);

  // Title 2: the opening lines, top left over the first catwalk shot.
  Canvas t2 = MakeCanvas(320, 240, kKey);
  DrawText(&t2, "a real-time", 18, 22, 2, kLineStyle);
  DrawText(&t2, "audiovisual show", 18, 46, 2, kLineStyle);
  Rule(&t2, 74, 72, 56, Hex(0xC8D8FF), Hex(0x303860));
  OutputPcx(out, kGfxTitle2.name, t2);

  // Title 3: the name, large, in the lower third.
  Canvas t3 = MakeCanvas(320, 240, kKey);
  DrawTextCentred(&t3, "Kestrivane", 146, 5, kTitleStyle);
  Rule(&t3, 160, 202, 140, Hex(0xFFE0B0), Hex(0x603020));
  OutputPcx(out, kGfxTitle3.name, t3);

  // Title 4: what the show is about, bottom right.
  Canvas t4 = MakeCanvas(320, 240, kKey);
  DrawText(&t4, "fashion", 196, 150, 2, kLineStyle);
  DrawText(&t4, "dance", 220, 174, 2, kLineStyle);
  DrawText(&t4, "light", 220, 198, 2, kLineStyle);
  Rule(&t4, 250, 224, 60, Hex(0xC8D8FF), Hex(0x303860));
  OutputPcx(out, kGfxTitle4.name, t4);

  for (const AssetPicture& word : kGfxWords) {
    Canvas w = MakeCanvas(word.width, word.height, kKey);
    // The word is the file's own name: "gfx\artwork.pcx" -> "artwork".
    std::string text(word.name);
    text = text.substr(text.find('\\') + 1);
    text = text.substr(0, text.find('.'));
    DrawText(&w, text.c_str(), 4, 2, 6, kWordStyle);
    OutputPcx(out, word.name, w);
  }

  Canvas logo = MakeCanvas(kGfxSilence.width, kGfxSilence.height, kKey);
  DrawText(&logo, "silence", 7, 3, 2, kLogoStyle);
  OutputPcx(out, kGfxSilence.name, logo);
}
