// DS3D positioning and the EAX 2.0 buffer model of one voice: the gains and
// HF levels of its direct path and of its send into the room.
#include "card/room.h"

#include <cmath>

#include "card/card_private.h"

namespace {

constexpr float PI = 3.14159265f;

struct Vec {
  float x, y, z;
};

Vec vec(const D3DVECTOR &v) { return Vec{v.x, v.y, v.z}; }
Vec sub(Vec a, Vec b) { return Vec{a.x - b.x, a.y - b.y, a.z - b.z}; }
Vec scale(Vec a, float k) { return Vec{a.x * k, a.y * k, a.z * k}; }
float dot(Vec a, Vec b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
float length(Vec a) { return std::sqrt(dot(a, a)); }
Vec cross(Vec a, Vec b) { return Vec{a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }

bool normalise(Vec &v) {
  float n = length(v);
  if (!(n > 1e-9f) || !std::isfinite(n)) return false;
  v = scale(v, 1.0f / n);
  return true;
}

// The listener's right, up and front axes, made orthonormal: the front
// vector is kept and the top vector is corrected to be perpendicular to it.
// Degenerate orientations fall back to the defaults.
void listener_axes(const Ds3dListenerState &l, Vec *right, Vec *up, Vec *front) {
  Vec f = vec(l.front), t = vec(l.top);
  if (!normalise(f)) f = Vec{0, 0, 1};
  t = sub(t, scale(f, dot(t, f)));
  if (!normalise(t)) {
    // Top parallel to front: take any perpendicular.
    t = std::fabs(f.y) < 0.9f ? Vec{0, 1, 0} : Vec{0, 0, -1};
    t = sub(t, scale(f, dot(t, f)));
    normalise(t);
  }
  *front = f;
  *up = t;
  *right = cross(t, f);  // left-handed axes: right = top x front
}

Vec to_listener(Vec v, Vec right, Vec up, Vec front) { return Vec{dot(v, right), dot(v, up), dot(v, front)}; }

// The card's pan law: constant power across the middle, with a source at
// one side reaching that side at full gain and the other not at all.
void pan_gains(float g, float pan, float *left, float *right) {
  if (pan < -1.0f) pan = -1.0f;
  if (pan > 1.0f) pan = 1.0f;
  float a = (pan + 1.0f) * 0.7853982f;
  *left = g * std::cos(a) * 1.4142136f;
  *right = g * std::sin(a) * 1.4142136f;
  if (*left > g) *left = g;
  if (*right > g) *right = g;
  if (*left < 0.0f) *left = 0.0f;
  if (*right < 0.0f) *right = 0.0f;
}

float hf_gain_of_mb(float mB) {
  if (mB >= 0.0f) return 1.0f;
  return room_gain_of_mb(mB);
}

}  // namespace

float room_gain_of_mb(float mB) {
  if (!(mB > -10000.0f)) return 0.0f;
  return std::pow(10.0f, mB / 2000.0f);
}

float room_one_pole_coefficient(float hfGain) {
  if (!(hfGain < 1.0f)) return 0.0f;
  if (hfGain < 1e-4f) hfGain = 1e-4f;
  // |H(5 kHz)|^2 = (1 - a)^2 / (1 - 2a cos w + a^2) = g^2, solved for the
  // root below 1.
  const double c = std::cos(2.0 * 3.14159265358979 * ROOM_HF_REFERENCE_HZ / double(CARD_RATE));
  const double g2 = double(hfGain) * double(hfGain);
  double disc = 2.0 * g2 * (1.0 - c) - g2 * g2 * (1.0 - c * c);
  if (disc < 0.0) disc = 0.0;
  double a = (1.0 - g2 * c - std::sqrt(disc)) / (1.0 - g2);
  if (a < 0.0) a = 0.0;
  if (a > 0.9999) a = 0.9999;
  return float(a);
}

VoiceRoomParams room_voice_params(const VoiceRoomInput &in, const Ds3dListenerState &l,
                                  const EAXLISTENERPROPERTIES &room) {
  VoiceRoomParams p{};
  p.directHf = 1.0f;
  p.sendHf = 1.0f;
  if (!in.is3d || !in.ds3d || !in.eax) {
    // A 2D buffer: its own pan, no room.
    pan_gains(in.baseGain, in.pan, &p.left, &p.right);
    return p;
  }
  const Ds3dBufferState &b = *in.ds3d;
  const EAXBUFFERPROPERTIES &e = *in.eax;

  float distanceGain = 1.0f;  // DS3D rolloff, direct path
  float roomDistanceGain = 1.0f;
  float coneMb = 0.0f, coneHfMb = 0.0f;
  float airMb = 0.0f;
  float metres = 0.0f;
  float behindGain = 1.0f, behindHfMb = 0.0f;
  float pan = 0.0f;

  if (b.mode != DS3DMODE_DISABLE) {
    Vec right, up, front;
    listener_axes(l, &right, &up, &front);
    // Position and cone orientation in the listener's frame (x right, y up,
    // z front). Head-relative values are given in that frame already.
    Vec local, cone;
    if (b.mode == DS3DMODE_HEADRELATIVE) {
      local = vec(b.position);
      cone = vec(b.coneOrientation);
    } else {
      local = to_listener(sub(vec(b.position), vec(l.position)), right, up, front);
      cone = to_listener(vec(b.coneOrientation), right, up, front);
    }
    float d = length(local);
    if (!std::isfinite(d)) d = 0.0f;
    float minD = b.minDistance, maxD = b.maxDistance;
    float dc = d < minD ? minD : d;
    if (dc > maxD && maxD >= minD) dc = maxD;
    if (minD > 0.0f) {
      // Inverse distance, clamped: -6 dB per doubling at rolloff 1.
      distanceGain = minD / (minD + l.rolloffFactor * (dc - minD));
      float roomRolloff = e.flRoomRolloffFactor + room.flRoomRolloffFactor;
      roomDistanceGain = minD / (minD + roomRolloff * (dc - minD));
      metres = (dc - minD) * l.distanceFactor;
    }
    if (in.muteAtMax && d > maxD) {
      distanceGain = 0.0f;
      roomDistanceGain = 0.0f;
    }
    airMb = room.flAirAbsorptionHF * e.flAirAbsorptionFactor * metres;

    if (d > 1e-6f) {
      pan = local.x / d;
      if (local.z < 0.0f) {
        // A source behind the head: a little quieter and duller.
        float t = -local.z / d;
        behindGain = 1.0f - 0.16f * t;
        behindHfMb = -600.0f * t;
      }
      bool coneActive = !(b.insideAngle >= 360 && b.outsideAngle >= 360);
      float coneLen = length(cone);
      if (coneActive && coneLen > 1e-9f) {
        // Angle between the cone's axis and the direction to the listener.
        float cosTheta = -dot(cone, local) / (coneLen * d);
        if (cosTheta > 1.0f) cosTheta = 1.0f;
        if (cosTheta < -1.0f) cosTheta = -1.0f;
        float theta = std::acos(cosTheta) * 180.0f / PI;
        float inside = float(b.insideAngle) * 0.5f;
        float outside = float(b.outsideAngle) * 0.5f;
        if (outside < inside) outside = inside;
        float t;
        if (theta <= inside)
          t = 0.0f;
        else if (theta >= outside)
          t = 1.0f;
        else
          t = (theta - inside) / (outside - inside);
        // Linear in mB between the two edges.
        coneMb = t * float(b.coneOutsideVolume);
        coneHfMb = t * float(e.lOutsideVolumeHF);
      }
    }
  }

  // Obstruction and occlusion remove their full level at high frequencies
  // and the LF-ratio share of it at low ones. The room hears an occluded
  // source through the wall (the LF share) and loses the room ratio's share
  // on top of that.
  float obstLf = float(e.lObstruction) * e.flObstructionLFRatio;
  float obstHf = float(e.lObstruction) - obstLf;
  float occLf = float(e.lOcclusion) * e.flOcclusionLFRatio;
  float occHf = float(e.lOcclusion) - occLf;

  float directMb = float(e.lDirect) + obstLf + occLf + coneMb;
  float directHfMb = float(e.lDirectHF) + obstHf + occHf + airMb + behindHfMb;
  if (e.dwFlags & EAXBUFFERFLAGS_DIRECTHFAUTO) directHfMb += coneHfMb;

  float sendMb = float(e.lRoom) + float(room.lRoom) + occLf + float(e.lOcclusion) * e.flOcclusionRoomRatio;
  if (e.dwFlags & EAXBUFFERFLAGS_ROOMAUTO) {
    sendMb += coneMb;
    // The room's initial level falls by 60 dB over the distance sound
    // travels in one decay time.
    if (metres > 0.0f && room.flDecayTime > 0.0f) sendMb -= 6000.0f * metres / (room.flDecayTime * ROOM_SPEED_OF_SOUND);
  }
  float sendHfMb = float(e.lRoomHF) + float(room.lRoomHF);
  if (e.dwFlags & EAXBUFFERFLAGS_ROOMHFAUTO) sendHfMb += coneHfMb + airMb;

  float direct = in.baseGain * distanceGain * behindGain * room_gain_of_mb(directMb);
  pan_gains(direct, pan, &p.left, &p.right);
  p.directHf = hf_gain_of_mb(directHfMb);
  p.send = in.baseGain * roomDistanceGain * room_gain_of_mb(sendMb);
  p.sendHf = hf_gain_of_mb(sendHfMb);
  return p;
}
