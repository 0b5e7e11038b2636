#include "ExtensionManager.h"

#include <dlfcn.h>

#include <stdexcept>

namespace orvane {

ExtensionManager& ExtensionManager::getInstance() {
    static ExtensionManager instance;
    return instance;
}

ExtensionManager::ExtensionManager() = default;

// Loaded libraries stay mapped: the extensions' code lives in them.
ExtensionManager::~ExtensionManager() = default;

void ExtensionManager::registerExtension(std::shared_ptr<Extension> extension) {
    if (!extension) throw std::invalid_argument("ExtensionManager::registerExtension: null extension");
    std::lock_guard lock(registryMutex);
    registrations.push_back({std::move(extension), std::this_thread::get_id()});
}

std::vector<std::shared_ptr<Extension>> ExtensionManager::getExtensions() const {
    std::lock_guard lock(registryMutex);
    std::vector<std::shared_ptr<Extension>> extensions;
    for (const auto& registration : registrations) extensions.push_back(registration.extension);
    return extensions;
}

std::shared_ptr<Extension> ExtensionManager::findExtension(const std::string& name) const {
    std::lock_guard lock(registryMutex);
    for (const auto& registration : registrations)
        if (registration.extension->getName() == name) return registration.extension;
    return nullptr;
}

Result<std::vector<std::shared_ptr<Extension>>> ExtensionManager::loadLibrary(const std::string& path) {
    using Answer = Result<std::vector<std::shared_ptr<Extension>>>;
    std::lock_guard loading(loadMutex);

    std::size_t before = 0;
    {
        std::lock_guard lock(registryMutex);
        before = registrations.size();
    }
    dlerror();
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* reason = dlerror();
        return Answer::failure("Cannot load extension library '" + path + "': " + (reason ? reason : "unknown error"));
    }
    for (const auto& library : libraries) {
        if (library.handle == handle) {
            dlclose(handle);  // drops the reference this call added
            return Answer::success(library.extensions);
        }
    }

    // Initialisers run on this thread, so the extensions registered from it during
    // dlopen are this library's.
    std::vector<std::shared_ptr<Extension>> added;
    {
        std::lock_guard lock(registryMutex);
        for (std::size_t i = before; i < registrations.size(); ++i)
            if (registrations[i].registeringThread == std::this_thread::get_id())
                added.push_back(registrations[i].extension);
    }
    if (added.empty()) {
        dlclose(handle);
        return Answer::failure("Library '" + path +
                               "' loaded but registered no extension; an extension library registers "
                               "itself with the ExtensionManager while it is loaded (one loaded before, "
                               "or linked with the program, did so then: see getExtensions)");
    }
    libraries.push_back({handle, added});
    return Answer::success(std::move(added));
}

}  // namespace orvane
