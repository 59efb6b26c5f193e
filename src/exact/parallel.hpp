// Work of one call on two threads.
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

#include <atomic>
#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

namespace qs {

// A task started on a second thread while the calling thread goes on with
// its own work, which then either needs the task's result (wait) or not
// (the task is stopped at its next poll when this goes). No thread is
// started from a second thread, or when none can be had: then started() is
// false and the task has not run.
class Background {
public:
    explicit Background(std::function<void()> task);
    Background(const Background&) = delete;
    Background& operator=(const Background&) = delete;
    ~Background();
    bool started() const noexcept { return worker_.joinable(); }
    // Waits for the started task, asking the hook meanwhile, and rethrows
    // its failure.
    void wait();

private:
    std::function<void()> task_;
    std::atomic<bool> stop_{false};
    std::exception_ptr failed_;
    std::mutex m_;
    std::condition_variable ended_;
    bool done_ = false;
    std::thread worker_;
};

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
