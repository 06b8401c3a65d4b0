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

XmlNode davChild(const XmlNode& parent, std::string_view localName) {
    for (XmlNode child = parent.firstChild(); child; child = child.nextSibling()) {
        if (child.isElement(localName, "DAV:")) return child;
    }
    return {};
}

namespace {

// "HTTP/1.1 403 Forbidden" -> "403 Forbidden"
std::string statusOf(const XmlNode& propstat) {
    const std::string line = davChild(propstat, "status").text();
    const std::size_t space = line.find(' ');
    return space == std::string::npos ? line : line.substr(space + 1);
}

}  // namespace

void forEachPropstat(
    const XmlNode& multistatus,
    const std::function<void(const XmlNode& response, const XmlNode& prop, bool success)>& f) {
    for (XmlNode response = multistatus.firstChild(); response; response = response.nextSibling()) {
        if (!response.isElement("response", "DAV:")) continue;
        for (XmlNode propstat = response.firstChild(); propstat; propstat = propstat.nextSibling()) {
            if (!propstat.isElement("propstat", "DAV:")) continue;
            f(response, davChild(propstat, "prop"), statusOf(propstat).starts_with('2'));
        }
    }
}

std::string refusedProperties(XmlDocument& reply) {
    std::string refused;
    for (XmlNode response = reply.documentElement().firstChild(); response;
         response = response.nextSibling()) {
        for (XmlNode propstat = response.firstChild(); propstat; propstat = propstat.nextSibling()) {
            if (!propstat.isElement("propstat", "DAV:")) continue;
            const std::string status = statusOf(propstat);
            if (status.empty() || status.starts_with('2')) continue;
            for (XmlNode property = davChild(propstat, "prop").firstChild(); property;
                 property = property.nextSibling())
                refused += (refused.empty() ? "" : ", ") + property.localName() + " (" + status + ")";
        }
    }
    return refused;
}

bool reportsLockDiscovery(XmlDocument& reply) {
    bool reported = false;
    forEachPropstat(reply.documentElement(), [&](const XmlNode&, const XmlNode& prop, bool success) {
        reported = reported || (success && davChild(prop, "lockdiscovery"));
    });
    // A reply of another shape (a bare prop, as a LOCK reply is) reports it where it stands.
    return reported || reply.documentElement().localName() == "prop";
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
