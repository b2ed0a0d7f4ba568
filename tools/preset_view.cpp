#include "tools/preset_view.h"

#include <cstring>

void scene_view_from_block(const PropertyBlock &b, SceneView *view) {
  ScenePose &listener = view->poses[POSE_LISTENER];
  std::memcpy(listener.position, b.listenerPosition, sizeof listener.position);
  std::memcpy(listener.angles, b.listenerAngles, sizeof listener.angles);
  for (int v = 0; v < 4; ++v) {
    const Ds3dVoiceFields &d = b.ds3dVoice[v];
    ScenePose &p = view->poses[POSE_VOICE_FIRST + v];
    std::memcpy(p.position, d.position, sizeof p.position);
    std::memcpy(p.angles, d.angles, sizeof p.angles);
    view->cones[v][CONE_INSIDE].angle = d.insideConeAngle;
    view->cones[v][CONE_OUTSIDE].angle = d.outsideConeAngle;
  }
  // Absorption is at most 0 mB; a stored value above that gives no fog.
  float fog = b.airAbsorptionHF / -120.0f;
  view->fogDensity = fog > 0 ? fog : 0;
}
