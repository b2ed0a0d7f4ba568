// The two clocks of a stream against a host that closes early, reopens and
// ends a stream without writing: within a stream the output time never
// passes the written time and never goes back.
#include "engine/card_test_fixture.h"

namespace {
using namespace card_fixture;

class CardClock : public CardFixture {
 protected:
  // Every reading of the current stream so far: output time within the
  // written time.
  void expect_output_within_written(int of_stream) {
    for (const ClockSample &c : clocks) {
      if (c.stream != of_stream) continue;
      EXPECT_LE(c.output, c.written) << "stream " << of_stream << " at frame " << c.frame;
    }
  }
  // A stream cut short: a block that is less than one submit, not a whole
  // number of frames, then Close.
  void short_stream(const Song &s) {
    ASSERT_GE(open(s), 0);
    std::vector<uint8_t> bytes;
    s.render(0, 7667 / s.frame_bytes() + 1, &bytes);
    Write(reinterpret_cast<char *>(bytes.data()), 7667);
    step_done();
    close();
  }
};

TEST_F(CardClock, AStreamEndedWithoutDataReportsNoTimeAfterAShortOne) {
  struct Case {
    const char *name;
    int32_t fadeFlags;
    int32_t interpolation;
    int32_t gapMode;
  } cases[] = {
      {"defaults", engine_settings_defaults.fadeFlags, engine_settings_defaults.interpolation, GAP_REMOVE},
      {"no fades", 0, engine_settings_defaults.interpolation, GAP_REMOVE},
      {"no interpolation", engine_settings_defaults.fadeFlags, 0, GAP_REMOVE},
      {"gaps kept", engine_settings_defaults.fadeFlags, engine_settings_defaults.interpolation, GAP_NONE},
  };
  for (int prelude = 0; prelude < 3; ++prelude)
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    SCOPED_TRACE(prelude);
    if (prelude > 0) {
      Song p;
      p.toneFrames = 2 * 44100;
      ASSERT_GE(open(p), 0);
      write_frames(p, 0, prelude == 1 ? p.frames() : 44100);
      if (prelude == 1) Write(nullptr, 0);
      idle(300);
      close();
    }
    live_settings.fadeFlags = c.fadeFlags;
    live_settings.interpolation = c.interpolation;
    live_settings.gapMode = c.gapMode;
    Song a;
    short_stream(a);
    const int second = stream + 1;
    ASSERT_GE(open(a), 0);
    idle(100);
    Write(nullptr, 0);
    step_done();
    EXPECT_EQ(GetWrittenTime(), 0);
    EXPECT_EQ(GetOutputTime(), 0);
    idle(300);
    expect_output_within_written(second);
    close();
    idle(1000);
  }
}

TEST_F(CardClock, AfterAShortStreamTheNextOneCountsFromItsOwnStart) {
  Song a, b;
  b.toneFrames = 44100;
  short_stream(a);
  const int second = stream + 1;
  ASSERT_GE(open(b), 0);
  idle(100);
  write_frames(b, 0, b.frames());
  Write(nullptr, 0);
  // Heard to its end: the output time reaches the written time, not past it.
  idle(2000);
  EXPECT_NEAR(GetOutputTime(), GetWrittenTime(), 20);
  close();
  expect_output_within_written(second);
}

}  // namespace
