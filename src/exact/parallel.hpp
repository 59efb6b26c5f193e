// Two halves of one call on two threads.
//
// Some operations split into two halves that share nothing they change (a
// boolean's two trees): on a machine with a second core they run at once.
// The halves must give the same result in either order; the call then
// returns exactly what it returns on one thread. Failures come out as on one
// thread: the first half's if it failed, otherwise the second's.
//
// The interrupt hook runs only on the calling thread, as before: it is
// asked while the first half runs and while this thread waits for the
// second. When it stops the call, the second half stops at its next poll,
// and the call returns only after it has.
#pragma once

#include <functional>

namespace qs {

void run_both(const std::function<void()>& first, const std::function<void()>& second);

// The same when `at_once`, otherwise first, then second on this thread.
template <class F, class G>
void run_both(bool at_once, F&& first, G&& second) {
    if (at_once) {
        run_both(std::function<void()>(first), std::function<void()>(second));
    } else {
        first();
        second();
    }
}

namespace detail {
// True on a thread run_both started.
bool in_second_thread() noexcept;
// On such a thread: throws when the call is being stopped.
void stop_second_if_asked();
}  // namespace detail

}  // namespace qs
