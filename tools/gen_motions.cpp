// The dances of the motion files. Each is a sum of moves (walk, bounce,
// sway, arm pumps, kicks, turns) whose strengths are smooth functions of
// time with periods that divide the dance's loop, so the last sample equals
// the first and playback wraps without a jump. The catwalk walk keeps the
// show's 0.8 s beat as its stride.
#include <cmath>

#include "tools/gen_scenes.h"

namespace {

constexpr float kTwoPi = 6.28318531f;
constexpr float kPiF = 3.14159265f;

float Wave(float t, float period) { return Sin(kTwoPi * std::fmod(t, period) / period); }
float CosWave(float t, float period) { return Cos(kTwoPi * std::fmod(t, period) / period); }
float Pulse(float t, float period) { return 0.5f + 0.5f * CosWave(t, period); }

// 1 inside block k of n equal blocks of the loop, easing in and out over a
// fifth of the block at each end.
float Block(float t, float loop, int n, int k) {
  float phase = std::fmod(t, loop) / (loop / static_cast<float>(n)) - static_cast<float>(k);
  if (phase < 0.0f || phase >= 1.0f) return 0.0f;
  return Smooth(0.0f, 0.2f, phase) * (1.0f - Smooth(0.8f, 1.0f, phase));
}

struct Moves {
  float walk = 0, phase = 0;  // gait strength and cycles (one cycle, two steps)
  float bounce = 0;           // knees bent, 0..1
  float sway = 0;             // hips to her left (+) or right (-)
  float twist = 0;            // radians, shared by hip and chest
  float pump = 0;             // right arm up (+) or left arm up (-)
  float armsUp = 0;           // both arms raised sideways, 0..1
  float handOnHip = 0;        // right hand to the hip, 0..1
  float kick = 0;             // right leg (+) or left leg (-) forward
  float lean = 0;             // chest forward (+), radians
  float look = 0;             // head turned to her left (+), radians
  Vec3 at = {0, 0, 100};      // hip joint
  float heading = 0;
};

void Compose(const Moves& m, DancerPose* p) {
  for (Vec3& a : p->turn) a = Vec3{0, 0, 0};
  Vec3* t = p->turn;
  // Standing: arms a little away from the body, elbows soft, heels.
  t[DP_ARM_UPPER_R].y = 0.12f;
  t[DP_ARM_UPPER_L].y = -0.12f;
  t[DP_ARM_LOWER_R].x = -0.15f;
  t[DP_ARM_LOWER_L].x = -0.15f;
  t[DP_FOOT_R].x = 0.15f;
  t[DP_FOOT_L].x = 0.15f;

  // Gait: thighs swing opposite, the swinging knee bends, the feet cross
  // towards the line the model walks on; hips and shoulders counter-turn.
  float w = kTwoPi * std::fmod(m.phase, 1.0f), s = Sin(w), c = Cos(w);
  float swingR = c > 0.0f ? c * c : 0.0f, swingL = c < 0.0f ? c * c : 0.0f;
  t[DP_LEG_UPPER_R].x += -0.42f * m.walk * s;
  t[DP_LEG_UPPER_L].x += 0.42f * m.walk * s;
  t[DP_LEG_LOWER_R].x += m.walk * (0.05f + 0.7f * swingR);
  t[DP_LEG_LOWER_L].x += m.walk * (0.05f + 0.7f * swingL);
  t[DP_FOOT_R].x += 0.25f * m.walk * swingR;
  t[DP_FOOT_L].x += 0.25f * m.walk * swingL;
  t[DP_LEG_UPPER_R].y += -0.05f * m.walk;
  t[DP_LEG_UPPER_L].y += 0.05f * m.walk;
  t[DP_HIP].z += 0.12f * m.walk * s;
  t[DP_HIP].y += 0.05f * m.walk * c;
  t[DP_CHEST].z += -0.18f * m.walk * s;
  t[DP_NECK].z += 0.06f * m.walk * s;
  t[DP_ARM_UPPER_R].x += 0.35f * m.walk * s;
  t[DP_ARM_UPPER_L].x += -0.35f * m.walk * s;
  t[DP_ARM_LOWER_R].x += -0.15f * m.walk;
  t[DP_ARM_LOWER_L].x += -0.15f * m.walk;

  // Knees bent with the feet kept flat.
  for (int leg : {DP_LEG_UPPER_R, DP_LEG_UPPER_L}) {
    t[leg].x -= 0.4f * m.bounce;
    t[leg + 1].x += 0.8f * m.bounce;
    t[leg + 2].x -= 0.4f * m.bounce;
  }
  t[DP_CHEST].x += 0.12f * m.bounce + m.lean;

  t[DP_HIP].y += 0.1f * m.sway;
  t[DP_CHEST].y -= 0.16f * m.sway;
  t[DP_HIP].z += 0.5f * m.twist;
  t[DP_CHEST].z += 0.5f * m.twist;
  t[DP_NECK].z += m.look - 0.6f * m.twist;
  t[DP_HEAD].x += -0.5f * m.lean;

  float up = m.pump > 0.0f ? m.pump : 0.0f, down = m.pump < 0.0f ? -m.pump : 0.0f;
  t[DP_ARM_UPPER_R].x -= 1.3f * up;
  t[DP_ARM_LOWER_R].x -= 1.1f * up;
  t[DP_ARM_UPPER_L].x -= 1.3f * down;
  t[DP_ARM_LOWER_L].x -= 1.1f * down;

  t[DP_ARM_UPPER_R].y += 2.4f * m.armsUp;
  t[DP_ARM_UPPER_L].y -= 2.4f * m.armsUp;
  t[DP_ARM_LOWER_R].y += 0.4f * m.armsUp;
  t[DP_ARM_LOWER_L].y -= 0.4f * m.armsUp;

  // Hand on the hip: the arm out to the side, the forearm folded back in
  // across the frontal plane.
  t[DP_ARM_UPPER_R].y += 0.63f * m.handOnHip;
  t[DP_ARM_UPPER_R].x += 0.15f * m.handOnHip;
  t[DP_ARM_LOWER_R].y -= 1.6f * m.handOnHip;
  t[DP_ARM_LOWER_R].x += 0.15f * m.handOnHip;
  t[DP_HAND_R].y += 0.5f * m.handOnHip;

  float kickR = m.kick > 0.0f ? m.kick : 0.0f, kickL = m.kick < 0.0f ? -m.kick : 0.0f;
  t[DP_LEG_UPPER_R].x -= 0.9f * kickR;
  t[DP_LEG_LOWER_R].x += 0.35f * kickR;
  t[DP_FOOT_R].x += 0.4f * kickR;
  t[DP_LEG_UPPER_L].x -= 0.9f * kickL;
  t[DP_LEG_LOWER_L].x += 0.35f * kickL;
  t[DP_FOOT_L].x += 0.4f * kickL;

  p->hip = m.at;
  p->hip.x += 5.0f * m.sway;
  p->heading = m.heading;
  p->grounded = true;
}

// Down the runway and back: 4 s walking to the front, a pose with a hand on
// the hip, a half turn, 4 s back to the board, a half turn.
void CatwalkWalk(float t, Moves* m) {
  const float back = 230.0f, front = -210.0f;
  m->phase = t / 0.8f;
  if (t < 4.0f || (t >= 7.2f && t < 11.2f)) {
    float u = (t < 4.0f ? t : t - 7.2f) / 4.0f;
    float eased = u - Sin(kTwoPi * u) / kTwoPi;
    float speed = 1.0f - Cos(kTwoPi * u);
    m->walk = speed < 1.0f ? speed : 1.0f;
    m->at.y = t < 4.0f ? back + (front - back) * eased : front + (back - front) * eased;
    m->heading = t < 4.0f ? 0.0f : kPiF;
    return;
  }
  bool atFront = t < 7.2f;
  m->at.y = atFront ? front : back;
  float turnStart = atFront ? 6.0f : 11.2f, turnLength = atFront ? 1.2f : 0.8f;
  float turned = Smooth(turnStart, turnStart + turnLength, t);
  m->heading = (atFront ? 0.0f : kPiF) + kPiF * turned;
  m->walk = 0.3f * turned * (1.0f - turned) * 4.0f;
  if (atFront) {
    m->handOnHip = Smooth(4.2f, 4.8f, t) * (1.0f - Smooth(5.5f, 6.1f, t));
    m->sway = Smooth(4.0f, 4.6f, t) * (1.0f - Smooth(5.6f, 6.2f, t)) * Wave(t - 4.0f, 1.6f);
    m->look = 0.35f * Smooth(4.4f, 5.0f, t) * (1.0f - Smooth(5.4f, 6.0f, t));
  }
}

// Posing at the front of the runway for the close-ups.
void CatwalkPoses(float t, Moves* m) {
  const float loop = 17.6f;
  m->at.y = -210.0f;
  m->heading = 0.35f * Wave(t, loop);
  m->sway = Wave(t, 1.6f);
  m->bounce = 0.12f * Pulse(t, 0.8f);
  m->twist = 0.2f * Wave(t, 4.4f);
  m->look = 0.3f * Wave(t, 8.8f);
  m->handOnHip = Block(t, loop, 4, 0) + Block(t, loop, 4, 2);
  m->armsUp = 0.85f * Block(t, loop, 4, 1);
  m->pump = Block(t, loop, 4, 3) * Wave(t, 1.6f);
  m->lean = -0.15f * Block(t, loop, 4, 1);
}

// A groove in place: a bounce on every beat, alternating arm pumps, a slow
// turn round and a small circle over the floor.
void Groove(float t, Moves* m) {
  const float loop = 48.0f;
  m->bounce = 0.55f * Pulse(t, 0.8f);
  m->pump = Wave(t, 1.6f) * (1.0f - Block(t, loop, 4, 1));
  m->armsUp = 0.7f * Block(t, loop, 4, 1);
  m->twist = 0.3f * Wave(t, 3.2f);
  m->sway = Wave(t, 1.6f);
  m->heading = kTwoPi * std::fmod(t, 16.0f) / 16.0f;
  m->at.x = 15.0f * CosWave(t, 12.0f);
  m->at.y = 15.0f * Wave(t, 12.0f);
  m->look = 0.2f * Wave(t, 4.8f);
}

// Quick and high: double-time bounce, kicks, arm waves, side steps.
void Energetic(float t, Moves* m) {
  const float loop = 17.6f;
  m->bounce = 0.45f * Pulse(t, 0.4f);
  m->pump = Wave(t, 0.8f) * Block(t, loop, 4, 0);
  m->kick = Wave(t, 1.6f) * (Block(t, loop, 4, 1) + Block(t, loop, 4, 3));
  m->armsUp = Pulse(t, 0.8f) * (Block(t, loop, 4, 2) + 0.5f * Block(t, loop, 4, 3));
  m->sway = Wave(t, 0.8f);
  m->twist = 0.25f * Wave(t, 1.6f);
  m->at.x = 18.0f * Wave(t, 4.4f);
  m->heading = 0.6f * Wave(t, 8.8f);
  m->lean = 0.1f * Wave(t, 2.2f);
}

// Spins with the arms opening and closing, kicks in one quarter.
void Spins(float t, Moves* m) {
  const float loop = 52.8f;
  m->heading = kTwoPi * std::fmod(t, 13.2f) / 13.2f;
  m->armsUp = 0.5f + 0.5f * Wave(t, 6.6f);
  m->pump = Wave(t, 1.6f) * (1.0f - m->armsUp);
  m->bounce = 0.4f * Pulse(t, 0.8f);
  m->kick = Wave(t, 1.6f) * Block(t, loop, 4, 1);
  m->sway = Wave(t, 1.6f);
  m->lean = 0.15f * Wave(t, 4.4f);
  m->at.x = 25.0f * CosWave(t, 13.2f);
  m->at.y = 25.0f * Wave(t, 13.2f);
}

// z-up to the engine's y-up axes: indices 1 and 2 exchanged for rows and
// columns.
Mat4 EngineAxes(const Mat4& m) {
  static const int swap[4] = {0, 2, 1, 3};
  Mat4 out;
  for (int r = 0; r < 4; r++)
    for (int c = 0; c < 4; c++) out.m[4 * r + c] = m.m[4 * swap[r] + swap[c]];
  return out;
}

}  // namespace

// Motions 1, 2 and 4 play at one sample per scene frame (22.5 a second),
// motions 3 and 5 at one sample every three frames.
const DanceInfo kDances[5] = {
    {"3d\\motion01.are", 22.5f, 271}, {"3d\\motion02.are", 22.5f, 397},
    {"3d\\motion03.are", 7.5f, 361},  {"3d\\motion04.are", 22.5f, 397},
    {"3d\\motion05.are", 7.5f, 397},
};

void DancePose(int dance, float seconds, DancerPose* pose) {
  Moves m;
  switch (dance) {
    case 0:
      CatwalkWalk(seconds, &m);
      break;
    case 1:
      CatwalkPoses(seconds, &m);
      break;
    case 2:
      Groove(seconds, &m);
      break;
    case 3:
      Energetic(seconds, &m);
      break;
    default:
      Spins(seconds, &m);
      break;
  }
  Compose(m, pose);
}

std::vector<MotionTrack> SampleDance(int dance) {
  const DanceInfo& info = kDances[dance];
  std::vector<MotionTrack> tracks(kDancerParts);
  for (int i = 0; i < kDancerParts; i++) tracks[i].name = kDancerPartTable[i].name;
  for (int f = 0; f < info.frames; f++) {
    DancerPose pose;
    DancePose(dance, static_cast<float>(f) / info.rate, &pose);
    Mat4 world[kDancerParts];
    DancerWorld(pose, world);
    for (int i = 0; i < kDancerParts; i++) tracks[i].frames.push_back(EngineAxes(world[i]));
  }
  return tracks;
}
