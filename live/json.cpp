#include "live/json.h"

namespace vxlive {

std::string JsonText(JsonNode *node) {
  g_autofree gchar *text = json_to_string(node, FALSE);
  return text ? text : "null";
}

JsonNode *ObjectNode(JsonObject *object) {
  JsonNode *node = json_node_new(JSON_NODE_OBJECT);
  json_node_take_object(node, object);
  return node;
}

JsonNodePtr ParseJson(std::string_view text, std::string &error) {
  g_autoptr(JsonParser) parser = json_parser_new_immutable();
  g_autoptr(GError) err = nullptr;
  if (!json_parser_load_from_data(parser, text.data(), static_cast<gssize>(text.size()), &err)) {
    error = err ? err->message : "not JSON";
    return nullptr;
  }
  JsonNode *root = json_parser_get_root(parser);
  if (!root) {
    error = "the body is empty";
    return nullptr;
  }
  return JsonNodePtr(json_node_copy(root));
}

}  // namespace vxlive
