// tavrello-service: the local Tavrello service for trying and testing the desktop programs.
#include "tools/service/credentials.h"
#include "tools/service/options.h"
#include "tools/service/service.h"
#include "tools/service/text_limits.h"

#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

std::string DefaultDatabasePath() {
    char path[4096];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) return "tavrello-service.db";
    std::string directory(path, static_cast<size_t>(length));
    directory.resize(directory.rfind('/') + 1);
    return directory + "tavrello-service.db";
}

int AddAccount(const service::CommandLine& command) {
    char line[1100];
    if (!std::fgets(line, sizeof line, stdin)) {
        std::fprintf(stderr, "tavrello-service: no password on standard input\n");
        return 2;
    }
    std::string password(line, std::strcspn(line, "\r\n"));
    if (password.empty() || password.size() > service::kMaxPasswordBytes) {
        std::fprintf(stderr, "tavrello-service: the password must be 1 to %zu bytes\n",
                     service::kMaxPasswordBytes);
        return 2;
    }
    std::string error;
    auto store = service::Store::Open(command.options.databasePath, error);
    if (!store) {
        std::fprintf(stderr, "tavrello-service: cannot open the database %s: %s\n",
                     command.options.databasePath.c_str(), error.c_str());
        return 1;
    }
    const std::string hash = service::HashPassword(password);
    const auto result = hash.empty() ? service::StoreResult::kFailed
                                     : store->CreateAccount(command.newAccountEmail, hash);
    if (result == service::StoreResult::kDuplicate) {
        std::fprintf(stderr, "tavrello-service: %s already has an account\n",
                     command.newAccountEmail.c_str());
        return 1;
    }
    if (result != service::StoreResult::kDone) {
        std::fprintf(stderr, "tavrello-service: the account could not be stored\n");
        return 1;
    }
    std::printf("created account %s\n", command.newAccountEmail.c_str());
    return 0;
}

// Waits for SIGINT or SIGTERM in a thread of its own and stops the server from there.
void StopOnSignal(service::Service& running) {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    std::thread([signals, &running]() {
        int received = 0;
        sigwait(&signals, &received);
        running.Stop();
    }).detach();
}

}  // namespace

int main(int argc, char** argv) {
    // Blocked before any thread starts, so only the waiting thread ever takes them.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    // Past a file-size limit a write fails (EFBIG) and is answered as a full disk is, instead of
    // the signal ending the service.
    std::signal(SIGXFSZ, SIG_IGN);

    service::CommandLine command =
        service::ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    switch (command.action) {
        case service::CommandLine::Action::kHelp:
            std::fputs(service::UsageText(), stdout);
            return 0;
        case service::CommandLine::Action::kInvalid:
            std::fprintf(stderr, "tavrello-service: %s\n%s", command.error.c_str(),
                         service::UsageText());
            return 2;
        default:
            break;
    }
    if (!service::InitialiseCrypto()) {
        std::fprintf(stderr, "tavrello-service: libsodium could not start\n");
        return 1;
    }
    if (command.options.databasePath.empty()) command.options.databasePath = DefaultDatabasePath();
    if (command.action == service::CommandLine::Action::kAddAccount) return AddAccount(command);

    std::string error;
    auto running = service::Service::Create(command.options, error);
    if (!running) {
        std::fprintf(stderr, "tavrello-service: %s\n", error.c_str());
        return 1;
    }
    StopOnSignal(*running);
    // Tests and scripts wait for this line to know the port.
    std::printf("tavrello-service listening on %s:%d, base URL %s, database %s\n",
                command.options.listenAddress.c_str(), running->port(), running->baseUrl().c_str(),
                command.options.databasePath.c_str());
    std::fflush(stdout);
    return running->Run() ? 0 : 1;
}
