#include "tools/service/credentials.h"

#include <sodium.h>

#include <algorithm>
#include <cstdio>
#include <thread>

namespace service {
namespace {

std::string Hex(const unsigned char* bytes, size_t size) {
    std::string hex(size * 2 + 1, '\0');
    sodium_bin2hex(hex.data(), hex.size(), bytes, size);
    hex.resize(size * 2);
    return hex;
}

unsigned SlotCount(unsigned requested) {
    return requested ? requested : std::max(2u, std::thread::hardware_concurrency());
}

}  // namespace

bool InitialiseCrypto() {
    return sodium_init() >= 0;
}

std::string HashPassword(std::string_view password) {
    char hash[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str(hash, password.data(), password.size(),
                          crypto_pwhash_OPSLIMIT_INTERACTIVE,
                          crypto_pwhash_MEMLIMIT_INTERACTIVE) != 0) {
        return std::string();
    }
    return hash;
}

PasswordCheck CheckPassword(const std::string& hash, std::string_view password) {
    // libsodium's own check answers a mismatch and a failure to run alike (-1, EINVAL), so
    // the hash is taken apart here and computed again with its own parameters: then -1 can
    // only mean the computation could not run.
    if (hash.find('\0') != std::string::npos ||
        crypto_pwhash_str_needs_rehash(hash.c_str(), crypto_pwhash_OPSLIMIT_INTERACTIVE,
                                       crypto_pwhash_MEMLIMIT_INTERACTIVE) < 0) {
        return PasswordCheck::kMalformedHash;
    }
    const bool argon2id = hash.rfind(crypto_pwhash_argon2id_STRPREFIX, 0) == 0;
    unsigned version = 0;
    unsigned long long memoryKib = 0;
    unsigned long long passes = 0;
    unsigned lanes = 0;
    int parsed = 0;
    const char* format =
        argon2id ? "$argon2id$v=%u$m=%llu,t=%llu,p=%u$%n" : "$argon2i$v=%u$m=%llu,t=%llu,p=%u$%n";
    if (std::sscanf(hash.c_str(), format, &version, &memoryKib, &passes, &lanes, &parsed) != 4 ||
        parsed == 0 || version != 0x13 || lanes != 1 ||
        (!argon2id && passes < crypto_pwhash_argon2i_OPSLIMIT_MIN)) {
        return PasswordCheck::kMalformedHash;
    }
    const size_t split = hash.find('$', static_cast<size_t>(parsed));
    unsigned char salt[crypto_pwhash_SALTBYTES];
    unsigned char stored[128];
    size_t saltLength = 0;
    size_t storedLength = 0;
    if (split == std::string::npos ||
        sodium_base642bin(salt, sizeof salt, hash.c_str() + parsed, split - parsed, nullptr,
                          &saltLength, nullptr, sodium_base64_VARIANT_ORIGINAL_NO_PADDING) != 0 ||
        saltLength != sizeof salt ||
        sodium_base642bin(stored, sizeof stored, hash.c_str() + split + 1, hash.size() - split - 1,
                          nullptr, &storedLength, nullptr,
                          sodium_base64_VARIANT_ORIGINAL_NO_PADDING) != 0 ||
        storedLength < crypto_pwhash_BYTES_MIN) {
        return PasswordCheck::kMalformedHash;
    }
    unsigned char computed[sizeof stored];
    if (crypto_pwhash(computed, storedLength, password.data(), password.size(), salt, passes,
                      static_cast<size_t>(memoryKib) * 1024,
                      argon2id ? crypto_pwhash_ALG_ARGON2ID13 : crypto_pwhash_ALG_ARGON2I13) != 0) {
        return PasswordCheck::kNoMemory;
    }
    const bool match = sodium_memcmp(computed, stored, storedLength) == 0;
    sodium_memzero(computed, sizeof computed);
    return match ? PasswordCheck::kMatch : PasswordCheck::kMismatch;
}

HashSlots::HashSlots(unsigned slots, unsigned maxWaiting, std::chrono::milliseconds maxWait)
    : capacity_(SlotCount(slots)), maxWaiting_(maxWaiting), maxWait_(maxWait) {}

bool HashSlots::Acquire() {
    std::unique_lock<std::mutex> lock(mutex_);
    if (busy_ < capacity_) {
        ++busy_;
        return true;
    }
    if (waiting_ >= maxWaiting_) return false;
    ++waiting_;
    const bool freed = freed_.wait_for(lock, maxWait_, [this] { return busy_ < capacity_; });
    --waiting_;
    if (freed) ++busy_;
    return freed;
}

void HashSlots::Release() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        --busy_;
    }
    freed_.notify_one();
}

HashSlots::Slot::Slot(HashSlots& slots) : slots_(slots), acquired_(slots.Acquire()) {}

HashSlots::Slot::~Slot() {
    if (acquired_) slots_.Release();
}

CredentialCache::CredentialCache(std::chrono::seconds lifetime, size_t capacity)
    : lifetime_(lifetime), capacity_(capacity) {
    crypto_generichash_keygen(key_);
}

std::string CredentialCache::KeyOf(std::string_view email, std::string_view password) const {
    // The address's length first, so that no other split of the same bytes gives this key.
    const uint64_t emailLength = email.size();
    crypto_generichash_state state;
    crypto_generichash_init(&state, key_, sizeof key_, crypto_generichash_BYTES);
    crypto_generichash_update(&state, reinterpret_cast<const unsigned char*>(&emailLength),
                              sizeof emailLength);
    crypto_generichash_update(&state, reinterpret_cast<const unsigned char*>(email.data()),
                              email.size());
    crypto_generichash_update(&state, reinterpret_cast<const unsigned char*>(password.data()),
                              password.size());
    unsigned char digest[crypto_generichash_BYTES];
    crypto_generichash_final(&state, digest, sizeof digest);
    return std::string(reinterpret_cast<const char*>(digest), sizeof digest);
}

bool CredentialCache::Holds(const std::string& key, int64_t accountId,
                            const std::string& passwordHash) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto entry = entries_.find(key);
    if (entry == entries_.end()) return false;
    if (entry->second.accountId == accountId && entry->second.passwordHash == passwordHash &&
        entry->second.expires > std::chrono::steady_clock::now()) {
        return true;
    }
    entries_.erase(entry);
    return false;
}

void CredentialCache::Remember(const std::string& key, int64_t accountId,
                               const std::string& passwordHash) {
    const auto now = std::chrono::steady_clock::now();
    std::lock_guard<std::mutex> lock(mutex_);
    if (entries_.size() >= capacity_ && entries_.find(key) == entries_.end()) {
        for (auto it = entries_.begin(); it != entries_.end();) {
            it = it->second.expires <= now ? entries_.erase(it) : std::next(it);
        }
        // Still full of live entries: make room by forgetting the one closest to expiry.
        if (entries_.size() >= capacity_) {
            entries_.erase(std::min_element(
                entries_.begin(), entries_.end(),
                [](const auto& a, const auto& b) { return a.second.expires < b.second.expires; }));
        }
    }
    entries_[key] = Entry{accountId, passwordHash, now + lifetime_};
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

FormTokens::FormTokens() {
    crypto_auth_keygen(key_);
}

std::string FormTokens::For(std::string_view binding) const {
    unsigned char mac[crypto_auth_BYTES];
    crypto_auth(mac, reinterpret_cast<const unsigned char*>(binding.data()), binding.size(), key_);
    return Hex(mac, sizeof mac);
}

bool FormTokens::Matches(std::string_view token, std::string_view binding) const {
    const std::string expected = For(binding);
    return token.size() == expected.size() &&
           sodium_memcmp(token.data(), expected.data(), expected.size()) == 0;
}

}  // namespace service
