#pragma once
// Waiting for a printer without freezing the window. A call that may take
// seconds (a connect to an unplugged printer, the reply schedule, the pause
// after a test page) runs on a worker thread while the interface thread waits
// for it in a local event loop: windows repaint, timers tick, the desktop and
// the accessibility layer get their answers, and a busy cursor shows. To the
// caller the call is still synchronous and its result comes back by value.
//
// Input made while a call waits is dropped: a click or a key never runs a
// command in the middle of another one, and nothing typed lands in a field
// the call is still reading. A request to close a window (its close box,
// Escape, or a click on the button that ends it) is kept instead and carried
// out as soon as the last call in flight ends.

#include <functional>
#include <optional>
#include <type_traits>
#include <utility>

namespace waiting_detail {
// Runs `work` on a worker thread; returns once it has finished.
void RunOffInterfaceThread(const std::function<void()>& work);
}  // namespace waiting_detail

// Runs `work` (which must touch no widget) and returns its result.
template <typename Work>
std::invoke_result_t<Work&> WaitWithoutFreezing(Work&& work) {
  using Result = std::invoke_result_t<Work&>;
  if constexpr (std::is_void_v<Result>) {
    waiting_detail::RunOffInterfaceThread(work);
  } else {
    std::optional<Result> result;
    waiting_detail::RunOffInterfaceThread([&] { result.emplace(work()); });
    return std::move(*result);
  }
}

// Whether a call started by WaitWithoutFreezing has not yet ended.
bool CallInFlight();

// Runs `action` once no call is in flight any more (at once when none is).
void AfterCallsInFlight(std::function<void()> action);

// The property that marks a push button whose click ends its dialog; such a
// click made while a call waits is kept, not dropped.
inline constexpr char kEndsDialogProperty[] = "endsDialog";
