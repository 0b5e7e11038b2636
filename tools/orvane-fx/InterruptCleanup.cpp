#include "InterruptCleanup.h"

#include <limits.h>
#include <pthread.h>
#include <unistd.h>

#include <cstring>
#include <stdexcept>

namespace orvane::tools {

namespace {

constexpr int guardedSignals[3] = {SIGINT, SIGTERM, SIGHUP};

// Written only while the signals are held back, read only by the handler.
char guardedPath[PATH_MAX] = {};
bool someoneArmed = false;

extern "C" void removeTemporaryAndResignal(int signal) {
    if (guardedPath[0] != '\0') unlink(guardedPath);
    // The signal stays blocked while this handler runs; raised again with the default
    // action, it is delivered as soon as the handler returns and ends the program.
    struct sigaction byDefault {};
    byDefault.sa_handler = SIG_DFL;
    sigemptyset(&byDefault.sa_mask);
    sigaction(signal, &byDefault, nullptr);
    raise(signal);
}

sigset_t guardedSet() {
    sigset_t set;
    sigemptyset(&set);
    for (int signal : guardedSignals) sigaddset(&set, signal);
    return set;
}

}  // namespace

InterruptCleanup::Hold::Hold() noexcept {
    const sigset_t set = guardedSet();
    pthread_sigmask(SIG_BLOCK, &set, &previous);
}

InterruptCleanup::Hold::~Hold() { pthread_sigmask(SIG_SETMASK, &previous, nullptr); }

InterruptCleanup::~InterruptCleanup() { disarm(); }

void InterruptCleanup::arm(const std::string& path) {
    if (path.size() >= sizeof guardedPath)
        throw std::logic_error("a temporary file's path is too long to guard: " + path);
    const Hold hold;
    if (armed || someoneArmed) throw std::logic_error("only one temporary file can be guarded at a time");
    std::memcpy(guardedPath, path.c_str(), path.size() + 1);
    struct sigaction handler {};
    handler.sa_handler = removeTemporaryAndResignal;
    sigemptyset(&handler.sa_mask);
    for (int i = 0; i < 3; ++i) {
        sigaction(guardedSignals[i], nullptr, &previous[i]);
        if (previous[i].sa_handler != SIG_IGN) sigaction(guardedSignals[i], &handler, nullptr);
    }
    armed = true;
    someoneArmed = true;
}

void InterruptCleanup::disarm() noexcept {
    if (!armed) return;
    const Hold hold;
    for (int i = 0; i < 3; ++i)
        if (previous[i].sa_handler != SIG_IGN) sigaction(guardedSignals[i], &previous[i], nullptr);
    guardedPath[0] = '\0';
    armed = false;
    someoneArmed = false;
}

}  // namespace orvane::tools
