// A second extension library, "Other", for the registry's tests: it registers itself while
// it is loaded, as every extension library does.

#include "host/Extension.h"
#include "host/ExtensionManager.h"

namespace {

class OtherExtension : public orvane::Extension {
public:
    std::string getName() const override { return "Other"; }
    std::string getDescription() const override { return "A second extension, for tests."; }
    std::shared_ptr<orvane::NodeFactory> getNodeFactory() const override { return nullptr; }
};

const bool registered = [] {
    orvane::ExtensionManager::getInstance().registerExtension(std::make_shared<OtherExtension>());
    return true;
}();

}  // namespace
