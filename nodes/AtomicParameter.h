#pragma once

#include <atomic>

namespace orvane::extensions::audioeffects {

/// A node parameter that any thread may set while the audio thread reads it.
/// Stores are sequentially consistent and keep the value unchanged: no clamping.
template <typename T>
class AtomicParameter {
public:
    static_assert(std::atomic<T>::is_always_lock_free, "parameters must never take a lock");

    explicit AtomicParameter(T initial) noexcept : value(initial) {}

    T load() const noexcept { return value.load(); }
    void store(T newValue) noexcept { value.store(newValue); }

private:
    std::atomic<T> value;
};

}  // namespace orvane::extensions::audioeffects
