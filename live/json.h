#pragma once
// Small helpers over json-glib: owning handles and the few conversions the server repeats.

#include <memory>
#include <string>
#include <string_view>

#include <json-glib/json-glib.h>

namespace vxlive {

struct JsonNodeFree {
  void operator()(JsonNode *n) const { json_node_unref(n); }
};
using JsonNodePtr = std::unique_ptr<JsonNode, JsonNodeFree>;

// A compact JSON text of node.
std::string JsonText(JsonNode *node);
// Takes ownership of an object and returns it as a node.
JsonNode *ObjectNode(JsonObject *object);
// Parses text; null with error set when it is not JSON.
JsonNodePtr ParseJson(std::string_view text, std::string &error);

}  // namespace vxlive
