#pragma once

#include <signal.h>

#include <string>

namespace orvane::tools {

/// Removes a temporary file when SIGINT, SIGTERM or SIGHUP ends the program, then lets the
/// signal end it as it would have, so the exit status still tells which signal it was.
///
/// The handlers run on any thread at any moment, so they only unlink a path kept in a
/// static buffer; one temporary file is guarded at a time in the whole program.
class InterruptCleanup {
public:
    /// Holds the three signals back for its lifetime, so that creating, renaming or removing
    /// a temporary file and arming or disarming happen as one step. Nests.
    class Hold {
    public:
        Hold() noexcept;
        ~Hold();
        Hold(const Hold&) = delete;
        Hold& operator=(const Hold&) = delete;

    private:
        sigset_t previous;
    };

    InterruptCleanup() = default;
    /// Disarms.
    ~InterruptCleanup();
    InterruptCleanup(const InterruptCleanup&) = delete;
    InterruptCleanup& operator=(const InterruptCleanup&) = delete;

    /// From now on those signals remove path before ending the program; a signal the program
    /// was started ignoring stays ignored. Throws std::logic_error when another file is
    /// guarded already.
    void arm(const std::string& path);
    /// Puts back the handlers that were there before arm(); path is no longer touched.
    void disarm() noexcept;

private:
    bool armed = false;
    struct sigaction previous[3] = {};
};

}  // namespace orvane::tools
