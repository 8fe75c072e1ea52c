#include "viewer/TileStates.h"

namespace viewer {

namespace {

constexpr uint8_t kStateBits = 0x7f;

TileState StateOf(uint8_t stored) { return static_cast<TileState>(stored & kStateBits); }

}  // namespace

TileStates::TileStates(task::TileRange range)
    : range_(range),
      // Zeroed: every tile Unknown, every chunk without holes.
      states_(new std::atomic<uint8_t>[static_cast<std::size_t>(range.Count())]()),
      chunkHoles_(new std::atomic<int32_t>[static_cast<std::size_t>(Chunks())]()) {
  counts_[static_cast<int>(TileState::Unknown)].store(Size());
}

TileState TileStates::At(int64_t index) const { return StateOf(states_[index].load(std::memory_order_relaxed)); }

bool TileStates::Undecodable(int64_t index) const {
  return (states_[index].load(std::memory_order_relaxed) & kUndecodable) != 0;
}

template <typename Next>
void TileStates::Update(int64_t index, Next next) {
  std::atomic<uint8_t>& slot = states_[index];
  uint8_t old = slot.load(std::memory_order_relaxed);
  uint8_t now = next(old);
  // The scanner and the GUI thread may change the same tile at once.
  while (now != old && !slot.compare_exchange_weak(old, now, std::memory_order_relaxed)) now = next(old);
  if (now == old) return;
  const TileState before = StateOf(old);
  const TileState after = StateOf(now);
  if (before == after) return;
  counts_[static_cast<int>(before)].fetch_sub(1, std::memory_order_relaxed);
  counts_[static_cast<int>(after)].fetch_add(1, std::memory_order_relaxed);
  if (IsHole(before) != IsHole(after)) {
    chunkHoles_[index >> kChunkShift].fetch_add(IsHole(after) ? 1 : -1, std::memory_order_relaxed);
  }
  changes_.fetch_add(1, std::memory_order_relaxed);
}

void TileStates::Learn(int64_t index, TileState state, bool forgetDecodeFailure) {
  Update(index, [state, forgetDecodeFailure](uint8_t old) -> uint8_t {
    const bool undecodable = (old & kUndecodable) != 0 && !forgetDecodeFailure;
    if (state == TileState::Saved && undecodable) return static_cast<uint8_t>(TileState::Unreadable) | kUndecodable;
    // Any other finding is about a file that is gone or was never taken for an image.
    return static_cast<uint8_t>(state);
  });
}

void TileStates::MarkUndecodable(int64_t index) {
  Update(index, [](uint8_t) -> uint8_t { return static_cast<uint8_t>(TileState::Unreadable) | kUndecodable; });
}

}  // namespace viewer
