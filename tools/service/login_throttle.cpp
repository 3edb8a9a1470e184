#include "tools/service/login_throttle.h"

#include "tools/service/bounded_server.h"
#include "tools/service/text_encoding.h"

#include <algorithm>
#include <cctype>

namespace service {
namespace {

std::string AccountKey(const std::string& email) {
    return "account " + AsciiLower(email);
}

// Addresses of one network are one client: a guesser gains nothing from a range of them.
std::string ClientKey(const std::string& client) {
    return "client " + ClientNetwork(client);
}

std::string PairKey(const std::string& email, const std::string& client) {
    return "signed in " + ClientKey(client) + " " + AccountKey(email);
}

}  // namespace

LoginThrottle::LoginThrottle(const LoginThrottleSettings& settings) : settings_(settings) {}

LoginThrottle::Entry* LoginThrottle::Find(const std::string& key, Clock::time_point now,
                                          bool create) {
    auto found = entries_.find(key);
    if (found != entries_.end()) {
        Entry& entry = found->second;
        if (entry.running == 0 && now - entry.last > settings_.forgetAfter) entry.failures = 0;
        return &entry;
    }
    if (!create) return nullptr;
    if (entries_.size() >= settings_.capacity) {
        // Full: make room by forgetting the key left alone longest.
        auto oldest = entries_.end();
        for (auto it = entries_.begin(); it != entries_.end(); ++it) {
            if (it->second.running == 0 &&
                (oldest == entries_.end() || it->second.last < oldest->second.last)) {
                oldest = it;
            }
        }
        if (oldest == entries_.end()) return nullptr;
        entries_.erase(oldest);
    }
    Entry& entry = entries_[key];
    entry.last = now;
    return &entry;
}

int64_t LoginThrottle::Wait(const Entry* entry, unsigned freeFailures,
                            Clock::time_point now) const {
    if (!entry) return 0;
    if (now < entry->blockedUntil) {
        const auto left = entry->blockedUntil - now;
        return std::max<int64_t>(1, std::chrono::ceil<std::chrono::seconds>(left).count());
    }
    // Checks still running count as failures to come, so a burst gets no more checks than
    // the free failures; past them a key is checked one request at a time.
    if (entry->running > 0 && entry->failures + entry->running >= freeFailures) return 1;
    return 0;
}

int64_t LoginThrottle::SecondsToWait(const std::string& email, const std::string& client,
                                     bool admit) {
    const auto now = Now();
    std::lock_guard<std::mutex> lock(mutex_);
    Entry* account = Find(AccountKey(email), now, admit);
    Entry* byClient = Find(ClientKey(client), now, admit);
    // No room to keep count: refuse rather than check uncounted.
    if (admit && (!account || !byClient)) return 1;
    // Where the account signed in lately, a stranger's guesses do not lock its owner out.
    const Entry* pair = Find(PairKey(email, client), now, false);
    const bool trusted = pair && now - pair->last < settings_.forgetAfter;
    const int64_t wait = std::max(trusted ? 0 : Wait(account, settings_.accountFreeFailures, now),
                                  Wait(byClient, settings_.clientFreeFailures, now));
    if (wait == 0 && admit) {
        ++account->running;
        ++byClient->running;
    }
    return wait;
}

void LoginThrottle::Record(Entry* entry, unsigned freeFailures, Outcome outcome,
                           Clock::time_point now) {
    if (!entry) return;
    if (entry->running > 0) --entry->running;
    entry->last = now;
    if (outcome != Outcome::kFailed) return;
    ++entry->failures;
    if (entry->failures < freeFailures) return;
    const unsigned doublings = std::min(entry->failures - freeFailures, 16u);
    const auto delay = std::min<std::chrono::seconds>(settings_.firstDelay * (1LL << doublings),
                                                      settings_.maxDelay);
    entry->blockedUntil = now + delay;
}

void LoginThrottle::Done(const std::string& email, const std::string& client, Outcome outcome) {
    const auto now = Now();
    std::lock_guard<std::mutex> lock(mutex_);
    Entry* account = Find(AccountKey(email), now, false);
    Record(account, settings_.accountFreeFailures, outcome, now);
    if (outcome == Outcome::kSucceeded) {
        if (account) account->failures = 0;
        if (Entry* pair = Find(PairKey(email, client), now, true)) pair->last = now;
    }
    Record(Find(ClientKey(client), now, false), settings_.clientFreeFailures, outcome, now);
}

}  // namespace service
