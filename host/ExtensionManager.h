#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "Extension.h"
#include "Result.h"

namespace orvane {

/// The process-wide registry of extensions. Extension libraries register themselves
/// while they are loaded; hosts list and find them here. Every operation is thread-safe.
class ExtensionManager {
public:
    /// The one registry of the process, shared by the host and every loaded library.
    static ExtensionManager& getInstance();

    ExtensionManager(const ExtensionManager&) = delete;
    ExtensionManager& operator=(const ExtensionManager&) = delete;

    /// Keeps a shared reference to the extension. Throws std::invalid_argument for null.
    [[gnu::noinline]] void registerExtension(std::shared_ptr<Extension> extension);

    /// Every registered extension, in registration order.
    std::vector<std::shared_ptr<Extension>> getExtensions() const;

    /// The first extension registered under name, or null.
    std::shared_ptr<Extension> findExtension(const std::string& name) const;

    /// Loads a shared library (dlopen) and answers the extensions it registered while
    /// loading. Fails with the loader's own message when the library cannot be loaded,
    /// and when it registers no extension (it is then unloaded again). Loading the same
    /// library again, or one the program was linked with, answers the extensions it
    /// registered then.
    Result<std::vector<std::shared_ptr<Extension>>> loadLibrary(const std::string& path);

private:
    ExtensionManager();
    ~ExtensionManager();

    struct Registration {
        std::shared_ptr<Extension> extension;
        std::thread::id registeringThread;
        const void* registeringCode;  // return address of the registerExtension call
    };
    struct LoadedLibrary {
        void* handle;
        std::vector<std::shared_ptr<Extension>> extensions;
    };

    mutable std::mutex registryMutex;
    std::vector<Registration> registrations;
    std::mutex loadMutex;  // held across dlopen; registration only takes registryMutex
    std::vector<LoadedLibrary> libraries;
};

}  // namespace orvane
