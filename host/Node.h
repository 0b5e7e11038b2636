#pragma once

#include "OrvaneObject.h"

namespace orvane {

/// A node of an audio graph. Created by a NodeFactory and owned by whoever created it.
class Node : public OrvaneObject {
public:
    Node();
    ~Node() override;
};

}  // namespace orvane
