#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>

namespace dedarida {

// Counts the calls that use an open device, so that closing it can wait until
// none is inside. Thread-safe.
class DeviceUsers {
public:
    // Entered for the lifetime of the object when `In` is true.
    class Use {
    public:
        explicit Use(DeviceUsers& users) : users_(users), in_(users.Enter()) {}
        Use(const Use&) = delete;
        Use& operator=(const Use&) = delete;
        ~Use() {
            if (in_)
                users_.Leave();
        }
        bool In() const { return in_; }

    private:
        DeviceUsers& users_;
        bool in_;
    };

    // The device has just been opened.
    void Admit();
    // Refuses new users, then calls `wake` (which must end what users wait
    // for) until every user has left.
    void Drain(const std::function<void()>& wake);
    bool Admitting() const;

private:
    bool Enter();
    void Leave();

    mutable std::mutex mutex_;
    std::condition_variable left_;
    bool admitting_ = false;
    int inside_ = 0;
};

} // namespace dedarida
