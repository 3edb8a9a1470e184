// Password hashes and session tokens, both from libsodium.
#pragma once

#include <string>
#include <string_view>

namespace service {

// Must run once before any other function here; false when libsodium cannot start.
bool InitialiseCrypto();

// A salted Argon2id hash in libsodium's self-describing text form; empty on failure.
std::string HashPassword(std::string_view password);
bool VerifyPassword(const std::string& hash, std::string_view password);

// 256 random bits as hex: the value of the session cookie.
std::string NewSessionToken();
// What the store keeps of a token, so that a copy of the file opens no session.
std::string SessionTokenDigest(std::string_view token);

}  // namespace service
