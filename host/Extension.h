#pragma once

#include <memory>
#include <string>

#include "NodeFactory.h"
#include "OrvaneObject.h"

namespace orvane {

/// A loadable unit of node types, known to the host by its name.
class Extension : public OrvaneObject {
public:
    Extension();
    ~Extension() override;

    /// Called by the host before first use; this default succeeds and does nothing.
    virtual Result<void> initialize(const OVAnyMap& configuration);
    /// Called by the host after last use; this default succeeds and does nothing.
    virtual Result<void> deinitialize();

    virtual std::string getName() const = 0;
    virtual std::string getDescription() const = 0;
    virtual std::shared_ptr<NodeFactory> getNodeFactory() const = 0;
};

}  // namespace orvane
