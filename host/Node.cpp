#include "Node.h"

namespace orvane {

Node::Node() : OrvaneObject("node") {}

Node::~Node() = default;

}  // namespace orvane
