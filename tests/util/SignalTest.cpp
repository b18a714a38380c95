#include "util/Signal.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

TEST(Signal, EveryListenerHearsInOrderUntilItsHandleGoes) {
  TSignal<int> signal;
  std::string heard;
  TConnection a = signal.Connect([&](int v) { heard += "a" + std::to_string(v); });
  {
    TConnection b = signal.Connect([&](int v) { heard += "b" + std::to_string(v); });
    signal.Emit(1);
  }
  signal.Emit(2);
  TConnection moved = std::move(a);  // the place moves with the handle
  signal.Emit(3);
  moved.Disconnect();
  signal.Emit(4);
  EXPECT_EQ(heard, "a1b1a2a3");
  EXPECT_EQ(signal.ListenerCount(), 0u);
}

TEST(Signal, ListenersMayLeaveOrJoinDuringAnEmission) {
  TSignal<> signal;
  int first = 0, second = 0, late = 0;
  TConnection c2;
  TConnection joined;
  TConnection c1 = signal.Connect([&] {
    ++first;
    c2.Disconnect();  // not called in this emission any more
    if (!joined.Connected()) joined = signal.Connect([&] { ++late; });
  });
  c2 = signal.Connect([&] { ++second; });
  signal.Emit();
  EXPECT_EQ(first, 1);
  EXPECT_EQ(second, 0);
  EXPECT_EQ(late, 0) << "joined during the emission: hears the next one";
  signal.Emit();
  EXPECT_EQ(late, 1);
}

TEST(Signal, AHandleOutlivingItsSignalAndABlockerAreHarmless) {
  TConnection c;
  int heard = 0;
  {
    auto signal = std::make_unique<TSignal<>>();
    c = signal->Connect([&] { ++heard; });
    {
      TSignalBlocker quiet(*signal);
      signal->Emit();
    }
    signal->Emit();
  }
  c.Disconnect();  // the signal is gone: nothing to do
  EXPECT_EQ(heard, 1);
}

}  // namespace
