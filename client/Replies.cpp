#include "client/Replies.h"

namespace ostrel::replies {

namespace {

constexpr std::string_view kFiniteDepth = "propfind-finite-depth";

}  // namespace

void selectDavNamespace(XmlDocument& reply) {
    reply.setProperty("SelectionNamespaces", "xmlns:d='DAV:'");
}

XmlNode firstDavHref(XmlDocument& reply) {
    selectDavNamespace(reply);
    return reply.selectSingleNode("//d:href");
}

XmlNode firstLockToken(XmlDocument& reply) {
    selectDavNamespace(reply);
    return reply.selectSingleNode("//d:locktoken");
}

std::string getetag(XmlDocument& reply) {
    selectDavNamespace(reply);
    const XmlNode etag = reply.selectSingleNode("//d:getetag");
    return etag ? etag.text() : std::string();
}

std::vector<std::string> displayNames(XmlDocument& reply) {
    selectDavNamespace(reply);
    const XmlNodeList nodes = reply.selectNodes("//d:displayname");
    std::vector<std::string> names;
    names.reserve(nodes.length());
    for (const XmlNode node : nodes) names.push_back(node.text());
    return names;
}

std::string refusalCondition(XmlDocument& reply) {
    selectDavNamespace(reply);
    const XmlNode condition = reply.selectSingleNode("/d:error/*");
    return condition ? condition.localName() : std::string();
}

std::string refusalCondition(std::string_view replyText) {
    const bool finiteDepth =
        replyText.find(kFiniteDepth) != std::string_view::npos ||
        replyText.find("Depth of \"infinity\" are not allowed") != std::string_view::npos;
    return finiteDepth ? std::string(kFiniteDepth) : std::string();
}

}  // namespace ostrel::replies
