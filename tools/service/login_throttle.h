// Slows password guessing: after a number of failed checks for one account, or from one
// client network, each further check must wait, longer after every failure. A waiting request
// is told when to come back (503 with Retry-After), never that the password was wrong, so the
// plug-in keeps the user's credentials. Once a key has used its free failures, only one check
// for it runs at a time, so a burst of parallel guesses gains nothing. A client network where
// the account signed in lately is not held up by the account's failures.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <unordered_map>

namespace service {

struct LoginThrottleSettings {
    unsigned accountFreeFailures = 5;
    // Every local program is the client 127.0.0.1, so this one is the looser.
    unsigned clientFreeFailures = 20;
    std::chrono::seconds firstDelay{1};  // doubled with each further failure
    std::chrono::seconds maxDelay{60};
    std::chrono::seconds forgetAfter{15 * 60};  // failures older than this no longer count
    size_t capacity = 4096;
    // The clock the delays are counted on; the steady clock when empty (tests stop it).
    std::function<std::chrono::steady_clock::time_point()> clock;
};

class LoginThrottle {
public:
    explicit LoginThrottle(const LoginThrottleSettings& settings);

    // Seconds until the account (its address, any case) and the client may be checked again;
    // 0 when they may now. With admit, a check that may run is counted as running until Done.
    int64_t SecondsToWait(const std::string& email, const std::string& client, bool admit);
    // Ends an admitted check; a success clears the account's failures, and a check that could
    // not decide (no hash slot, no memory) counts for nothing.
    enum class Outcome { kSucceeded, kFailed, kUndecided };
    void Done(const std::string& email, const std::string& client, Outcome outcome);

private:
    using Clock = std::chrono::steady_clock;
    struct Entry {
        unsigned failures = 0;
        unsigned running = 0;
        Clock::time_point last;
        Clock::time_point blockedUntil;
    };

    Clock::time_point Now() const { return settings_.clock ? settings_.clock() : Clock::now(); }
    Entry* Find(const std::string& key, Clock::time_point now, bool create);
    int64_t Wait(const Entry* entry, unsigned freeFailures, Clock::time_point now) const;
    void Record(Entry* entry, unsigned freeFailures, Outcome outcome, Clock::time_point now);

    const LoginThrottleSettings settings_;
    std::mutex mutex_;
    std::unordered_map<std::string, Entry> entries_;
};

}  // namespace service
