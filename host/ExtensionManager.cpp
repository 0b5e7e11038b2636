#include "ExtensionManager.h"

#include <dlfcn.h>

#include <stdexcept>

namespace orvane {

namespace {

// Whether code lies in the library behind handle.
bool codeIn(const void* code, void* handle) {
    Dl_info where{};
    if (!code || !dladdr(code, &where) || !where.dli_fname) return false;
    void* owner = dlopen(where.dli_fname, RTLD_NOW | RTLD_NOLOAD);
    if (!owner) return false;
    dlclose(owner);
    return owner == handle;
}

}  // namespace

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
    // The caller's own code tells which library registered, even long after its loading.
    registrations.push_back({std::move(extension), std::this_thread::get_id(), __builtin_return_address(0)});
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
    // dlopen are this library's. A library that was already loaded (linked into the
    // program, say) registered before: its extensions are those its own code registered.
    std::vector<std::shared_ptr<Extension>> added;
    {
        std::lock_guard lock(registryMutex);
        for (std::size_t i = before; i < registrations.size(); ++i)
            if (registrations[i].registeringThread == std::this_thread::get_id())
                added.push_back(registrations[i].extension);
        if (added.empty())
            for (std::size_t i = 0; i < before; ++i)
                if (codeIn(registrations[i].registeringCode, handle)) added.push_back(registrations[i].extension);
    }
    if (added.empty()) {
        dlclose(handle);
        return Answer::failure("Library '" + path +
                               "' loaded but registered no extension; an extension library registers "
                               "itself with the ExtensionManager while it is loaded");
    }
    libraries.push_back({handle, added});
    return Answer::success(std::move(added));
}

}  // namespace orvane
