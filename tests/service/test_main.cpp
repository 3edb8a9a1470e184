// The service's tests need libsodium started before any password is hashed.
#include "tools/service/credentials.h"

#include <gtest/gtest.h>

#include <csignal>

int main(int argc, char** argv) {
    std::signal(SIGPIPE, SIG_IGN);
    if (!service::InitialiseCrypto()) return 1;
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
