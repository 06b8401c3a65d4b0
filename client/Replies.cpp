#include "client/Replies.h"

namespace ostrel::replies {

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

std::vector<std::string> displayNames(XmlDocument& reply) {
    selectDavNamespace(reply);
    const XmlNodeList nodes = reply.selectNodes("//d:displayname");
    std::vector<std::string> names;
    names.reserve(nodes.length());
    for (const XmlNode node : nodes) names.push_back(node.text());
    return names;
}

}  // namespace ostrel::replies
