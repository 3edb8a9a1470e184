// Password hashes, the gate that bounds how many run at once, the cache of recent successful
// checks, and session tokens; all from libsodium.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>

namespace service {

// Must run once before any other function here; false when libsodium cannot start.
bool InitialiseCrypto();

// A salted Argon2id hash in libsodium's self-describing text form; empty on failure.
std::string HashPassword(std::string_view password);

// Only kMismatch says anything about the password: a stored hash that cannot be read is the
// store's fault, and a check that could not get its memory may succeed later.
enum class PasswordCheck { kMatch, kMismatch, kMalformedHash, kNoMemory };
PasswordCheck CheckPassword(const std::string& hash, std::string_view password);

// Each hash takes 64 MiB for its duration; a burst of logins on every server thread at once
// must not take the machine's memory. Hashes run in a few slots, a few more callers may wait
// a short while for one, and anyone beyond that is turned away to try again later.
class HashSlots {
public:
    // slots 0: one per core, at least two.
    HashSlots(unsigned slots, unsigned maxWaiting, std::chrono::milliseconds maxWait);

    // Holds a slot for its lifetime when acquired() is true.
    class Slot {
    public:
        explicit Slot(HashSlots& slots);
        ~Slot();
        Slot(const Slot&) = delete;
        Slot& operator=(const Slot&) = delete;
        bool acquired() const { return acquired_; }

    private:
        HashSlots& slots_;
        bool acquired_;
    };

private:
    bool Acquire();
    void Release();

    const unsigned capacity_;
    const unsigned maxWaiting_;
    const std::chrono::milliseconds maxWait_;
    std::mutex mutex_;
    std::condition_variable freed_;
    unsigned busy_ = 0;
    unsigned waiting_ = 0;
};

// Successful password checks, for a short while: the plug-in sends the password with every
// request, and a full hash for each would make every request cost tens of milliseconds of
// both cores. An entry is found by a keyed hash of address and password (the key is random
// for each process; the password itself is never kept) and holds only while the account's
// stored hash is the one it was checked against, so a changed password drops it.
class CredentialCache {
public:
    CredentialCache(std::chrono::seconds lifetime, size_t capacity);

    std::string KeyOf(std::string_view email, std::string_view password) const;
    // True when key was remembered for this account and stored hash and has not expired.
    bool Holds(const std::string& key, int64_t accountId, const std::string& passwordHash);
    void Remember(const std::string& key, int64_t accountId, const std::string& passwordHash);

private:
    struct Entry {
        int64_t accountId;
        std::string passwordHash;
        std::chrono::steady_clock::time_point expires;
    };

    const std::chrono::seconds lifetime_;
    const size_t capacity_;
    unsigned char key_[32];
    std::mutex mutex_;
    std::unordered_map<std::string, Entry> entries_;
};

// 256 random bits as hex: the value of the session cookie.
std::string NewSessionToken();
// What the store keeps of a token, so that a copy of the file opens no session.
std::string SessionTokenDigest(std::string_view token);

// Tokens for the site's own forms: a keyed hash (random key for each process) of what the
// form is bound to, so that a page of another site cannot make one up.
class FormTokens {
public:
    FormTokens();
    std::string For(std::string_view binding) const;
    bool Matches(std::string_view token, std::string_view binding) const;

private:
    unsigned char key_[32];
};

}  // namespace service
