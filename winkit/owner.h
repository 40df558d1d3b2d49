// The one owner of the toolkit: a value (a handle, a pointer, a key, a saved state) that must
// be given back exactly once, on every path. Portable: the Win32 owners in handles.h and the
// platform's owners are all made of it, each with its own closer.
#pragma once
#include <functional>
#include <type_traits>
#include <utility>

namespace winkit {

// Holds one T and closes it when it goes, when it is reset, or when another takes its place;
// move-only. `Closer` closes a value: closer(value). It may carry state (the window of a
// device context, the platform that opened a key) and may say more about the values:
//   static T None()         the value that holds nothing (otherwise T{});
//   static bool Holds(T v)  whether v needs closing (otherwise v != None()).
template <class T, class Closer>
class Owner {
 public:
  using Value = T;

  Owner() = default;
  explicit Owner(T value, Closer closer = Closer()) : closer_(std::move(closer)), value_(value) {}
  Owner(Owner&& other) noexcept
      : closer_(other.closer_), value_(std::exchange(other.value_, None())) {}
  Owner& operator=(Owner&& other) noexcept {
    if (this != &other) {
      Reset();
      closer_ = other.closer_;
      value_ = std::exchange(other.value_, None());
    }
    return *this;
  }
  Owner(const Owner&) = delete;
  Owner& operator=(const Owner&) = delete;
  ~Owner() { Reset(); }

  T get() const { return value_; }
  explicit operator bool() const { return Holds(value_); }
  // Hands the value on; the owner then holds nothing.
  T release() { return std::exchange(value_, None()); }
  // Closes what is held, then holds `value`.
  void Reset(T value = None()) {
    const T old = std::exchange(value_, value);
    if (Holds(old)) closer_(old);
  }
  // For a call that returns the value through a pointer: closes what is held first.
  T* out() {
    Reset();
    return &value_;
  }
  const Closer& closer() const { return closer_; }
  Closer& closer() { return closer_; }

  // Closes a value that is held nowhere else (a close call of an interface), as its owner would.
  static void Drop(T value, Closer closer = Closer()) { Owner(value, std::move(closer)).Reset(); }

 private:
  static T None() {
    if constexpr (requires { Closer::None(); })
      return Closer::None();
    else
      return T{};
  }
  static bool Holds(T value) {
    if constexpr (requires { Closer::Holds(value); })
      return Closer::Holds(value);
    else
      return value != None();
  }

  [[no_unique_address]] Closer closer_{};
  T value_ = None();
};

// The closer of a value that one function closes: Close(value), or Close() for a call that
// ends what a call without a result began.
template <auto Close>
struct CloseWith {
  template <class T>
  void operator()(T value) const {
    if constexpr (std::is_invocable_v<decltype(Close), T>)
      Close(value);
    else
      Close();
  }
};

// The closer of a value that one function closes within a context (the device context a
// state was saved in, the window a DC belongs to, the platform that opened a key):
// Close(context, value), or Close(context); Close may be a member function of the context.
template <class Context, auto Close>
struct CloseIn {
  Context context{};
  template <class T>
  void operator()(T value) const {
    if constexpr (std::is_invocable_v<decltype(Close), Context, T>)
      std::invoke(Close, context, value);
    else
      std::invoke(Close, context);
  }
};

}  // namespace winkit
