#include "exact/parallel.hpp"

#include <flint/flint.h>

#include <chrono>
#include <system_error>
#include <utility>

#include "exact/interrupt.hpp"

namespace qs {

namespace {

// Set on a second thread: the flag that tells it to stop.
thread_local const std::atomic<bool>* t_stop = nullptr;

// How a second thread's task ends when asked to stop; never leaves it.
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

Background::Background(std::function<void()> task) : task_(std::move(task)) {
    if (detail::in_second_thread()) return;  // one second thread per call at most
    try {
        worker_ = std::thread([this] {
            t_stop = &stop_;
            try {
                task_();
            } catch (const Stopped&) {
            } catch (...) {
                failed_ = std::current_exception();
            }
            // The library keeps freed integers per thread; hand this one's
            // back before the thread goes.
            flint_cleanup();
            std::lock_guard<std::mutex> lock(m_);
            done_ = true;
            ended_.notify_one();
        });
    } catch (const std::system_error&) {
        // No thread to be had: the caller does without.
    }
}

// Whatever ends the caller's work ends the task, which must stop before the
// state both share goes.
Background::~Background() {
    if (!worker_.joinable()) return;
    stop_.store(true, std::memory_order_relaxed);
    worker_.join();
}

void Background::wait() {
    std::unique_lock<std::mutex> lock(m_);
    while (!ended_.wait_for(lock, kWaitPoll, [&] { return done_; })) {
        lock.unlock();
        detail::run_interrupt_hook();
        lock.lock();
    }
    lock.unlock();
    // The worker has said it is done; join before reading its failure, which
    // it wrote before.
    worker_.join();
    if (failed_) std::rethrow_exception(failed_);
}

void run_both(const std::function<void()>& first, const std::function<void()>& second) {
    Background other(second);
    first();
    if (other.started())
        other.wait();
    else
        second();  // as on one core
}

}  // namespace qs
