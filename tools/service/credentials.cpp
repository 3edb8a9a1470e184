#include "tools/service/credentials.h"

#include <sodium.h>

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace service {
namespace {

std::string Hex(const unsigned char* bytes, size_t size) {
    std::string hex(size * 2 + 1, '\0');
    sodium_bin2hex(hex.data(), hex.size(), bytes, size);
    hex.resize(size * 2);
    return hex;
}

// Each hash takes 64 MiB for its duration; a burst of logins on every server thread at once
// must not take the machine's memory, so hashes wait for one of a few slots.
class HashSlot {
public:
    HashSlot() {
        std::unique_lock<std::mutex> lock(mutex_);
        freed_.wait(lock, [] { return busy_ < Capacity(); });
        ++busy_;
    }
    ~HashSlot() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            --busy_;
        }
        freed_.notify_one();
    }
    HashSlot(const HashSlot&) = delete;
    HashSlot& operator=(const HashSlot&) = delete;

private:
    static unsigned Capacity() { return std::max(2u, std::thread::hardware_concurrency()); }

    static inline std::mutex mutex_;
    static inline std::condition_variable freed_;
    static inline unsigned busy_ = 0;
};

}  // namespace

bool InitialiseCrypto() {
    return sodium_init() >= 0;
}

std::string HashPassword(std::string_view password) {
    char hash[crypto_pwhash_STRBYTES];
    HashSlot slot;
    if (crypto_pwhash_str(hash, password.data(), password.size(),
                          crypto_pwhash_OPSLIMIT_INTERACTIVE,
                          crypto_pwhash_MEMLIMIT_INTERACTIVE) != 0) {
        return std::string();
    }
    return hash;
}

bool VerifyPassword(const std::string& hash, std::string_view password) {
    HashSlot slot;
    return crypto_pwhash_str_verify(hash.c_str(), password.data(), password.size()) == 0;
}

std::string NewSessionToken() {
    unsigned char token[32];
    randombytes_buf(token, sizeof token);
    return Hex(token, sizeof token);
}

std::string SessionTokenDigest(std::string_view token) {
    unsigned char digest[crypto_generichash_BYTES];
    crypto_generichash(digest, sizeof digest, reinterpret_cast<const unsigned char*>(token.data()),
                       token.size(), nullptr, 0);
    return Hex(digest, sizeof digest);
}

}  // namespace service
