// Time per frame of the scene pipeline on the processor: building the
// frame triangle list (transform, projection, shading, lighting), the depth
// sort, and the drawing calls into a target that only counts them. Prints
// figures; checks nothing.
#include <chrono>
#include <cstdio>
#include <memory>

#include "ui/scene_assets.h"

namespace {

class CountingTarget : public SceneDrawTarget {
 public:
  long calls = 0;
  void depth_mask(bool) override { ++calls; }
  void bind_texture(int) override { ++calls; }
  void texture_add(bool) override { ++calls; }
  void enable_texture(bool) override { ++calls; }
  void enable_fog(bool) override { ++calls; }
  void triangle(const FrameTriangle &t) override { calls += long(t.v[0].rgba[0]) & 1; }
};

}  // namespace

int main() {
  SceneResources res;
  if (scene_resources_load(&res) != 0) {
    std::fprintf(stderr, "stored assets refused\n");
    return 1;
  }
  ScenePose poses[POSE_COUNT] = {{{0, 0, 0}, {0, 0, 0}}, scene_voice_defaults[0], scene_voice_defaults[1],
                                 scene_voice_defaults[2], scene_voice_defaults[3]};
  ConeModel cones[4][2];
  for (int v = 0; v < 4; ++v)
    for (int k = 0; k < 2; ++k) cone_model_build(cone_record_defaults[v][k], poses[1 + v], &cones[v][k]);
  SceneContent content{res.model[SCENE_FLOOR], res.model[SCENE_LEFT_BOX], res.model[SCENE_RIGHT_BOX],
                       res.model[SCENE_LISTENER], poses, cones, nullptr};
  std::unique_ptr<FrameList> list(new FrameList);
  SceneCamera camera;
  CountingTarget target;
  using Clock = std::chrono::steady_clock;
  const int frames = 4000;
  double build = 0, sort = 0, draw = 0, cone = 0;
  for (int f = 0; f < frames; ++f) {
    camera.yaw = 0.001f * f;  // a slow orbit, so that the sort has work
    camera.pitch = 1.57f - 0.0002f * f;
    auto t0 = Clock::now();
    for (int v = 0; v < 4; ++v)
      for (int k = 0; k < 2; ++k) cone_model_build(cone_record_defaults[v][k], poses[1 + v], &cones[v][k]);
    auto t1 = Clock::now();
    frame_clear(list.get());
    frame_add_model(list.get(), content.floor, camera, 0);
    SceneModel m = content.listener;
    m.head.pose = poses[0];
    frame_add_model(list.get(), m, camera, 1);
    for (int v = 0; v < 4; ++v) {
      m = v % 2 ? content.rightBox : content.leftBox;
      m.head.pose = poses[1 + v];
      frame_add_model(list.get(), m, camera, 2 + v);
    }
    for (int v = 0; v < 4; ++v)
      for (int k = 0; k < 2; ++k) frame_add_model(list.get(), scene_cone_model(cones[v][k]), camera, 0);
    auto t2 = Clock::now();
    frame_depth_sort(list.get());
    auto t3 = Clock::now();
    frame_draw(*list, &target);
    auto t4 = Clock::now();
    cone += std::chrono::duration<double, std::micro>(t1 - t0).count();
    build += std::chrono::duration<double, std::micro>(t2 - t1).count();
    sort += std::chrono::duration<double, std::micro>(t3 - t2).count();
    draw += std::chrono::duration<double, std::micro>(t4 - t3).count();
  }
  std::printf("scene pipeline, %d triangles per frame, mean of %d frames:\n", list->count, frames);
  std::printf("  rebuild cones        %8.2f us\n", cone / frames);
  std::printf("  transform and shade  %8.2f us\n", build / frames);
  std::printf("  depth sort           %8.2f us\n", sort / frames);
  std::printf("  drawing calls        %8.2f us (a counting target; %ld calls)\n", draw / frames, target.calls);
  std::printf("  total                %8.2f us per frame\n", (cone + build + sort + draw) / frames);
  return 0;
}
