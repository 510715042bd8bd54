// Something a run does now and then while it goes on (letting the window
// work, flushing the log): at most once a period. A run asks at every
// directory entry, a microsecond or so apart, so the clock is read only at
// every so many asks.
#pragma once

#include <chrono>

class Throttle {
public:
    Throttle(std::chrono::milliseconds period, int asksPerClockRead)
        : period_(period)
        , asksPerClockRead_(asksPerClockRead)
    {
    }

    // Whether the period has passed since the last restart (always, before the first).
    bool due()
    {
        if (++asks_ < asksPerClockRead_)
            return false;
        asks_ = 0;
        return !started_ || std::chrono::steady_clock::now() - start_ >= period_;
    }

    // Starts the period anew.
    void restart()
    {
        start_ = std::chrono::steady_clock::now();
        started_ = true;
    }

private:
    const std::chrono::milliseconds period_;
    const int asksPerClockRead_;
    int asks_ = 0;
    bool started_ = false;
    std::chrono::steady_clock::time_point start_ {};
};
