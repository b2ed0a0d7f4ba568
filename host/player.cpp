#include "host/player.h"

#include <algorithm>
#include <cstdarg>

#include "platform/os.h"

namespace {

const uint32_t POLL_MS = 10;

const char *layout(int channels) { return channels == 1 ? "mono" : "stereo"; }

// The decoder thread of one song: a block whenever CanWrite has room for
// it, otherwise a 10 ms sleep; at the end Write(NULL, 0) and IsPlaying
// polled (with CanWrite, which some outputs need to be called regularly)
// until the song has played. A seek request flushes the plug-in at the new
// position and decoding goes on from there, also after the last block.
unsigned decoder_main(void *arg) {
  Player::Decoder *d = static_cast<Player::Decoder *>(arg);
  Out_Module *m = d->module;
  const WavAudio &a = *d->audio;
  const int64_t frame = a.frame_bytes();
  const int64_t size = int64_t(a.pcm.size());
  char *pcm = reinterpret_cast<char *>(const_cast<uint8_t *>(a.pcm.data()));
  int64_t pos = 0;
  bool ended = false;
  while (!d->stop.load()) {
    int64_t seek = d->seekMs.exchange(-1);
    if (seek >= 0) {
      int64_t f = std::min<int64_t>(seek * a.rate / 1000, a.frames());
      pos = f * frame;
      d->position = pos;
      m->Flush(int(f * 1000 / a.rate));
      ended = false;
      continue;
    }
    if (pos < size) {
      int n = int(std::min<int64_t>(d->blockBytes, size - pos));
      if (m->CanWrite() >= n) {
        m->Write(pcm + pos, n);
        pos += n;
        d->position = pos;
        d->written += n;
      } else {
        os_sleep(POLL_MS);
      }
      continue;
    }
    if (!ended) {
      m->Write(nullptr, 0);
      ended = true;
    }
    if (!m->IsPlaying()) break;
    m->CanWrite();
    os_sleep(POLL_MS);
  }
  d->done = 1;
  return 0;
}

}  // namespace

intptr_t full_stop_answer(FullStopMode mode, CloseReason reason) {
  if (mode == FullStopMode::Classic) return reason == CloseReason::NextSong ? 0 : 1;
  switch (reason) {
    case CloseReason::NextSong: return 1;
    case CloseReason::EndOfPlaylist: return 2;
    default: return 0;
  }
}

void Player::say(FILE *to, const char *format, ...) {
  if (!to) return;
  if (config_.beforeLog) config_.beforeLog();
  va_list args;
  va_start(args, format);
  std::vfprintf(to, format, args);
  va_end(args);
}

Player::Player(Out_Module *module, PlayerConfig config) : module_(module), config_(std::move(config)) {}

Player::~Player() = default;

intptr_t Player::is_full_stop() const { return full_stop_answer(config_.fullStop, CloseReason(reason_.load())); }

void Player::wait(uint32_t ms) {
  uint32_t start = os_tick_count();
  do {
    if (config_.pump) config_.pump();
    os_sleep(POLL_MS);
  } while (os_tick_count() - start < ms);
}

void Player::run_due_actions(Decoder *decoder, int64_t now_ms) {
  const std::vector<TimedAction> &list = config_.actions;
  while (nextAction_ < list.size() && list[nextAction_].atMs <= now_ms)
    run_action(decoder, list[nextAction_++], now_ms);
  TimedAction key;
  while (config_.input && config_.input(&key)) run_action(decoder, key, now_ms);
}

void Player::run_action(Decoder *decoder, const TimedAction &a, int64_t now_ms) {
  if (config_.log) say(config_.log, "  at %.1f s: %s\n", double(now_ms) / 1000.0, action_describe(a).c_str());
  switch (a.kind) {
    case ActionKind::Seek:
      if (decoder) decoder->seekMs = a.value;
      break;
    case ActionKind::SeekBy:
      // From the position heard; the decoder clamps a target past the end.
      if (decoder) decoder->seekMs = std::max<int64_t>(0, int64_t(module_->GetOutputTime()) + a.value);
      break;
    case ActionKind::Pause:
      if (!paused_) module_->Pause(1);
      paused_ = true;
      break;
    case ActionKind::Resume:
      if (paused_) module_->Pause(0);
      paused_ = false;
      break;
    case ActionKind::TogglePause:
      module_->Pause(paused_ ? 0 : 1);
      paused_ = !paused_;
      break;
    case ActionKind::Volume:
      config_.volume = int(a.value);
      module_->SetVolume(config_.volume);
      break;
    case ActionKind::Set: {
      std::string error = "no way to commit settings to this plug-in";
      if (!config_.setSetting || !config_.setSetting(a, &error))
        say(config_.errors, "sonorium_player: %s: %s\n", action_describe(a).c_str(), error.c_str());
      break;
    }
    case ActionKind::Stop:
      stopRequested_ = true;
      if (decoder) decoder->stop = 1;
      break;
  }
}

PlayerReport Player::play(const std::vector<PlaylistEntry> &list) {
  PlayerReport report;
  startMs_ = int64_t(os_tick_count());
  nextAction_ = 0;
  paused_ = false;
  stopRequested_ = false;
  const int songs = int(list.size());
  for (int i = 0; i < songs && !stopRequested_; ++i) {
    const PlaylistEntry &entry = list[size_t(i)];
    WavAudio audio;
    std::string message;
    WavResult r = entry.load(&audio, &message);
    if (r == WavResult::Failed) {
      say(config_.errors, "sonorium_player: %s: %s; skipped\n", entry.name.c_str(), message.c_str());
      ++report.failed;
      continue;
    }
    if (r == WavResult::Truncated)
      say(config_.errors, "sonorium_player: warning: %s: %s; playing what is there\n", entry.name.c_str(),
                   message.c_str());
    if (config_.log)
      say(config_.log, "playing %s (%d Hz, %d-bit %s, %.2f s)\n", entry.name.c_str(), audio.rate, audio.bits,
                   layout(audio.channels), audio.seconds());
    module_->SetVolume(config_.volume);
    module_->SetPan(0);
    if (module_->Open(audio.rate, audio.channels, audio.bits, -1, -1) < 0) {
      say(config_.errors, "sonorium_player: %s: the plug-in refused a %d Hz %d-bit %s stream; skipped\n",
                   entry.name.c_str(), audio.rate, audio.bits, layout(audio.channels));
      ++report.failed;
      continue;
    }
    if (paused_) module_->Pause(1);
    module_->SetVolume(-666);

    Decoder d;
    d.module = module_;
    d.audio = &audio;
    d.blockBytes = std::max(1, config_.blockFrames) * audio.frame_bytes();
    OsThread *thread = os_thread_start(decoder_main, &d);
    if (!thread) {
      say(config_.errors, "sonorium_player: %s: cannot start the decoder thread\n", entry.name.c_str());
      reason_ = int(CloseReason::UserStop);
      module_->Close();
      ++report.failed;
      break;
    }
    while (!d.done.load()) {
      if (config_.pump) config_.pump();
      run_due_actions(&d, int64_t(os_tick_count()) - startMs_);
      if (config_.progress) {
        double heard = std::min(double(module_->GetOutputTime()) / 1000.0, audio.seconds());
        config_.progress(entry.name, i + 1, songs, std::max(0.0, heard), audio.seconds(), paused_);
      }
      os_sleep(POLL_MS);
    }
    os_thread_join(thread);
    report.musicSeconds += double(d.written.load()) / audio.frame_bytes() / audio.rate;
    ++report.played;
    if (d.stop.load()) {
      report.stopped = true;
      reason_ = int(CloseReason::UserStop);
    } else {
      reason_ = int(i + 1 == songs ? CloseReason::EndOfPlaylist : CloseReason::NextSong);
    }
    module_->Close();
    // Any later close (a stop, the one at quit) is the user's.
    reason_ = int(CloseReason::UserStop);
  }
  if (nextAction_ < config_.actions.size() && config_.log)
    say(config_.log, "  %d timed action(s) not done: the playlist ended first\n",
                 int(config_.actions.size() - nextAction_));
  return report;
}
