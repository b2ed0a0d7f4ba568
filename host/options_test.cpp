#include <gtest/gtest.h>

#include "engine/settings_export.h"
#include "host/options.h"
#include "host/player.h"

namespace {

bool parse(std::vector<const char *> args, PlayerOptions *o, std::string *e) {
  args.insert(args.begin(), "sonorium_player");
  return options_parse(int(args.size()), args.data(), o, e);
}

TEST(Actions, EveryKindParses) {
  TimedAction a;
  std::string e;
  ASSERT_TRUE(action_parse("5:seek=60", &a, &e)) << e;
  EXPECT_EQ(5000, a.atMs);
  EXPECT_EQ(ActionKind::Seek, a.kind);
  EXPECT_EQ(60000, a.value);
  ASSERT_TRUE(action_parse("12.25:pause", &a, &e)) << e;
  EXPECT_EQ(12250, a.atMs);
  EXPECT_EQ(ActionKind::Pause, a.kind);
  ASSERT_TRUE(action_parse("14:resume", &a, &e));
  EXPECT_EQ(ActionKind::Resume, a.kind);
  ASSERT_TRUE(action_parse("20:volume=128", &a, &e));
  EXPECT_EQ(ActionKind::Volume, a.kind);
  EXPECT_EQ(128, a.value);
  ASSERT_TRUE(action_parse("0:stop", &a, &e));
  EXPECT_EQ(ActionKind::Stop, a.kind);
  EXPECT_EQ(0, a.atMs);
  ASSERT_TRUE(action_parse("1:seek=0.5", &a, &e));
  EXPECT_EQ(500, a.value);
}

TEST(Actions, BadActionsAreRefusedWithAReason) {
  const char *bad[][2] = {
      {"5", "TIME:ACTION"},          {"x:stop", "seconds"},         {"-1:stop", "seconds"},
      {"inf:stop", "seconds"},       {"1e3:stop", "seconds"},       {"5:jump", "unknown action"},
      {"5:seek", "needs a value"},   {"5:seek=", "seek=SECONDS"},   {"5:seek=-3", "seek=SECONDS"},
      {"5:volume=256", "0 to 255"}, {"5:volume=12x", "0 to 255"},  {"5:pause=1", "takes no value"},
      {":stop", "seconds"},          {"5:volume=-1", "0 to 255"},
  };
  for (auto &c : bad) {
    TimedAction a;
    std::string e;
    EXPECT_FALSE(action_parse(c[0], &a, &e)) << c[0];
    EXPECT_NE(std::string::npos, e.find(c[1])) << c[0] << ": " << e;
  }
}

TEST(Options, AllOptionsInBothSpellings) {
  PlayerOptions o;
  std::string e;
  ASSERT_TRUE(parse({"a.wav", "--out", "x.wav", "--settings=dir", "--env", "e.env", "--eq=q.eq", "--room", "off",
                     "--isfullstop=new", "--volume", "100", "--tail=0.5", "--clock", "real", "--at", "9:stop",
                     "--at=2:pause", "-q", "--", "--b.wav"},
                    &o, &e))
      << e;
  EXPECT_EQ((std::vector<std::string>{"a.wav", "--b.wav"}), o.files);
  EXPECT_EQ("x.wav", o.out);
  EXPECT_EQ("dir", o.settings);
  EXPECT_EQ("e.env", o.env);
  EXPECT_EQ("q.eq", o.eq);
  EXPECT_EQ(0, o.room);
  EXPECT_EQ(FullStopMode::New, o.fullStop);
  EXPECT_EQ(100, o.volume);
  EXPECT_DOUBLE_EQ(0.5, o.tailSeconds);
  EXPECT_EQ(ClockMode::Real, o.clock);
  EXPECT_TRUE(o.quiet);
  // Sorted by time.
  ASSERT_EQ(2u, o.actions.size());
  EXPECT_EQ(ActionKind::Pause, o.actions[0].kind);
  EXPECT_EQ(ActionKind::Stop, o.actions[1].kind);
}

TEST(Options, ActionsAtTheSameTimeKeepTheirOrder) {
  PlayerOptions o;
  std::string e;
  ASSERT_TRUE(parse({"--demo", "--at", "3:volume=10", "--at", "1:pause", "--at", "3:volume=20"}, &o, &e));
  ASSERT_EQ(3u, o.actions.size());
  EXPECT_EQ(10, o.actions[1].value);
  EXPECT_EQ(20, o.actions[2].value);
}

TEST(Options, UsageErrors) {
  std::vector<std::vector<const char *>> bad = {
      {},
      {"--out"},
      {"a.wav", "--bogus"},
      {"a.wav", "--room", "maybe"},
      {"a.wav", "--isfullstop", "sometimes"},
      {"a.wav", "--volume", "300"},
      {"a.wav", "--tail", "99"},
      {"a.wav", "--at", "bad"},
      {"a.wav", "--demo"},
      {"--demo=1"},
      {"--write-demo", "d", "a.wav"},
      {"--demo", "--demo-seconds", "1"},
      {"a.wav", "--clock", "fast"},
  };
  for (auto &args : bad) {
    PlayerOptions o;
    std::string e;
    EXPECT_FALSE(parse(args, &o, &e)) << (args.empty() ? "(none)" : args.back());
    EXPECT_FALSE(e.empty());
  }
  PlayerOptions o;
  std::string e;
  EXPECT_TRUE(parse({"--help"}, &o, &e));
  EXPECT_TRUE(o.help);
  EXPECT_TRUE(parse({"-"}, &o, &e)) << "a lone dash is a file name";
}

TEST(Options, UsageTextNamesTheClockOfTheBuild) {
  std::string native = options_usage("p", true);
  std::string windows = options_usage("p", false);
  EXPECT_NE(std::string::npos, native.find("--clock MODE"));
  EXPECT_NE(std::string::npos, windows.find("real time only"));
  EXPECT_NE(std::string::npos, native.find("--isfullstop"));
}

TEST(Options, SettingsByFieldNameInDecimalOrHexadecimalAtTheirBounds) {
  int index;
  int32_t value;
  std::string e;
  ASSERT_TRUE(setting_parse("fadeFlags=0x7C", &index, &value, &e)) << e;
  EXPECT_STREQ("fadeFlags", setting_fields[index].name);
  EXPECT_EQ(0x7C, value);
  ASSERT_TRUE(setting_parse("insertGapMs=120000", &index, &value, &e)) << e;
  EXPECT_EQ(&EngineSettings::insertGapMs, setting_fields[index].field);
  EXPECT_EQ(120000, value);
  EXPECT_TRUE(setting_parse("bufferLengthMs=200", &index, &value, &e));
  EXPECT_TRUE(setting_parse("silenceThreshold=0X7FFF", &index, &value, &e));
  EXPECT_EQ(32767, value);
  for (const char *bad : {"bufferLengthMs=199", "insertGapMs=120001", "gapMode=+1", "gapMode= 1", "gapMode=0x",
                          "gapMode=1e0", "gapMode=99999999999999999999", "gapMode=", "=1", "GapMode=1"})
    EXPECT_FALSE(setting_parse(bad, &index, &value, &e)) << bad;

  PlayerOptions o;
  ASSERT_TRUE(parse({"--set", "gapMode=2", "--set=insertGapMs=1500", "--at", "3:set fadeSeekMs=0", "x.wav"}, &o, &e))
      << e;
  ASSERT_EQ(2u, o.sets.size());
  EXPECT_EQ(2, o.sets[0].value);
  EXPECT_EQ(1500, o.sets[1].value);
  ASSERT_EQ(1u, o.actions.size());
  EXPECT_EQ(ActionKind::Set, o.actions[0].kind);
  EXPECT_EQ(3000, o.actions[0].atMs);
  EXPECT_EQ("set fadeSeekMs=0", action_describe(o.actions[0]));
}

TEST(Options, UsageListsEverySettingWithItsDefault) {
  std::string u = options_usage("p", true);
  for (const SettingField &f : setting_fields) EXPECT_NE(std::string::npos, u.find(std::string("  ") + f.name + " "));
  EXPECT_NE(std::string::npos, u.find("fadeFlags         0x7D    0x0 to 0x7F *"));
  EXPECT_NE(std::string::npos, u.find("insertGapMs       2000    0 to 120000\n"));
}

TEST(FullStop, AnswersUnderBothConventions) {
  EXPECT_EQ(1, full_stop_answer(FullStopMode::Classic, CloseReason::UserStop));
  EXPECT_EQ(0, full_stop_answer(FullStopMode::Classic, CloseReason::NextSong));
  EXPECT_EQ(1, full_stop_answer(FullStopMode::Classic, CloseReason::EndOfPlaylist));
  EXPECT_EQ(0, full_stop_answer(FullStopMode::New, CloseReason::UserStop));
  EXPECT_EQ(1, full_stop_answer(FullStopMode::New, CloseReason::NextSong));
  EXPECT_EQ(2, full_stop_answer(FullStopMode::New, CloseReason::EndOfPlaylist));
}

}  // namespace
