#include "exact/parallel.hpp"

#include <flint/flint.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>

#include "exact/interrupt.hpp"

namespace qs {

namespace {

// Set on a second thread: the flag that tells it to stop.
thread_local const std::atomic<bool>* t_stop = nullptr;

// How a second half ends when asked to stop; never leaves run_both.
struct Stopped {};

// How often the calling thread asks the hook while it waits.
constexpr std::chrono::milliseconds kWaitPoll{5};

}  // namespace

namespace detail {

bool in_second_thread() noexcept { return t_stop != nullptr; }

void stop_second_if_asked() {
    if (t_stop && t_stop->load(std::memory_order_relaxed)) throw Stopped{};
}

}  // namespace detail

void run_both(const std::function<void()>& first, const std::function<void()>& second) {
    if (detail::in_second_thread()) {  // one second thread per call at most
        first();
        second();
        return;
    }
    std::atomic<bool> stop{false};
    std::exception_ptr second_failed;
    std::mutex m;
    std::condition_variable ended;
    bool done = false;
    std::thread worker;
    try {
        worker = std::thread([&] {
            t_stop = &stop;
            try {
                second();
            } catch (const Stopped&) {
            } catch (...) {
                second_failed = std::current_exception();
            }
            // The library keeps freed integers per thread; hand this one's
            // back before the thread goes.
            flint_cleanup();
            std::lock_guard<std::mutex> lock(m);
            done = true;
            ended.notify_one();
        });
    } catch (const std::system_error&) {
        // No thread to be had: one after the other, as on one core.
        first();
        second();
        return;
    }
    // Whatever stops this thread stops the other, which must end before the
    // state both share goes.
    struct Join {
        std::thread& worker;
        std::atomic<bool>& stop;
        ~Join() {
            stop.store(true, std::memory_order_relaxed);
            worker.join();
        }
    } join{worker, stop};
    first();
    std::unique_lock<std::mutex> lock(m);
    while (!ended.wait_for(lock, kWaitPoll, [&] { return done; })) {
        lock.unlock();
        detail::run_interrupt_hook();
        lock.lock();
    }
    lock.unlock();
    // The worker has said it is done; join (in ~Join) before reading its
    // failure, which it wrote before.
    if (second_failed) std::rethrow_exception(second_failed);
}

}  // namespace qs
