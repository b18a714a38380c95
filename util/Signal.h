#pragma once
// A notification with any number of listeners. Connect() returns a TConnection; the
// listener stays connected until that handle is destroyed (or Disconnect() is called on it),
// so a window that goes away can never be called through a stale hook.
//
//   TSignal<int> OnVertAdded;
//   TConnection c = OnVertAdded.Connect([this](int i) { update(); });
//   OnVertAdded.Emit(3);  // every connected listener, in the order they connected
//
// A signal may die before its connections (their handles then do nothing) and a listener may
// disconnect itself, or connect others, while the signal is being emitted: a listener
// connected during an emission hears the next one; one disconnected during it is not called
// again. Not thread-safe: a signal, its connections and its emissions belong to one thread.
// TSignalBlocker silences a signal for a scope.

#include <cstddef>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

// Owns one listener's place in a signal; move-only.
class TConnection {
public:
  TConnection() = default;
  explicit TConnection(std::function<void()> disconnect) : m_disconnect(std::move(disconnect)) {}
  TConnection(TConnection&& other) noexcept
      : m_disconnect(std::exchange(other.m_disconnect, nullptr)) {}
  TConnection& operator=(TConnection&& other) noexcept {
    if (this != &other) {
      Disconnect();
      m_disconnect = std::exchange(other.m_disconnect, nullptr);
    }
    return *this;
  }
  TConnection(const TConnection&) = delete;
  TConnection& operator=(const TConnection&) = delete;
  ~TConnection() { Disconnect(); }

  // Whether the handle holds a place (false once disconnected, moved from, or empty).
  bool Connected() const { return static_cast<bool>(m_disconnect); }
  void Disconnect() {
    if (auto disconnect = std::exchange(m_disconnect, nullptr)) disconnect();
  }

private:
  std::function<void()> m_disconnect;
};

template <class... Args>
class TSignal {
public:
  using TListener = std::function<void(Args...)>;

  TSignal() = default;
  TSignal(const TSignal&) = delete;
  TSignal& operator=(const TSignal&) = delete;

  [[nodiscard]] TConnection Connect(TListener listener) {
    auto slot = std::make_shared<TSlot>(TSlot{std::move(listener), true});
    m_state->Slots.push_back(slot);
    return TConnection(
        [weakState = std::weak_ptr<TState>(m_state), weakSlot = std::weak_ptr<TSlot>(slot)] {
          const auto state = weakState.lock();
          const auto s = weakSlot.lock();
          if (!state || !s) return;
          s->Connected = false;
          state->Prune();
        });
  }

  void Emit(Args... args) const {
    if (m_state->Blocked > 0 || m_state->Slots.empty()) return;
    // By index, up to the listeners there were when it began: a listener may connect or
    // disconnect others (the vector may then grow or be pruned only after the emission).
    const std::shared_ptr<TState> state = m_state;
    ++state->Emitting;
    const size_t n = state->Slots.size();
    for (size_t i = 0; i < n; ++i) {
      const std::shared_ptr<TSlot> slot = state->Slots[i];  // kept alive if it disconnects itself
      if (slot->Connected) slot->Listener(args...);
    }
    --state->Emitting;
    state->Prune();
  }

  size_t ListenerCount() const {
    size_t n = 0;
    for (const auto& slot : m_state->Slots) n += slot->Connected ? 1 : 0;
    return n;
  }

private:
  template <class... A>
  friend class TSignalBlocker;

  struct TSlot {
    TListener Listener;
    bool Connected;
  };
  struct TState {
    std::vector<std::shared_ptr<TSlot>> Slots;
    int Emitting = 0;
    int Blocked = 0;
    void Prune() {
      if (Emitting > 0) return;
      std::erase_if(Slots, [](const std::shared_ptr<TSlot>& s) { return !s->Connected; });
    }
  };

  std::shared_ptr<TState> m_state = std::make_shared<TState>();
};

// While it lives, the signal's emissions reach nobody (blockers nest).
template <class... Args>
class TSignalBlocker {
public:
  explicit TSignalBlocker(TSignal<Args...>& signal) : m_state(signal.m_state) {
    ++m_state->Blocked;
  }
  ~TSignalBlocker() { --m_state->Blocked; }
  TSignalBlocker(const TSignalBlocker&) = delete;
  TSignalBlocker& operator=(const TSignalBlocker&) = delete;

private:
  std::shared_ptr<typename TSignal<Args...>::TState> m_state;
};
