#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/XmlDocument.h"

// What the program reads out of WebDAV replies. Kept apart so that every reply a server can send, however
// odd, goes through the same few functions (and so they can be fed arbitrary replies in tests).
namespace ostrel::replies {

// Binds the prefix d to the DAV: namespace for the selections below.
void selectDavNamespace(XmlDocument& reply);
// The first element named href in the DAV: namespace, in document order: in a granted lock's reply, the new
// lock's token. The empty handle when there is none.
XmlNode firstDavHref(XmlDocument& reply);
// The first DAV:locktoken element of a lock discovery; the empty handle when the resource is not locked.
XmlNode firstLockToken(XmlDocument& reply);
// The text of the first DAV:getetag element; empty when there is none.
std::string getetag(XmlDocument& reply);
// The texts of every DAV:displayname element, in document order.
std::vector<std::string> displayNames(XmlDocument& reply);

// The properties a PROPPATCH reply says were not set, each with its status: "displayname (403 Forbidden)",
// joined by ", "; empty when every property was set.
std::string refusedProperties(XmlDocument& reply);
// True when a reply to a PROPFIND of lockdiscovery holds the property: a server that does not report locks
// answers it as missing (404), which says nothing about whether the resource is locked.
bool reportsLockDiscovery(XmlDocument& reply);

// Walks a multistatus reply: f(response, propstat, prop) for every propstat of every DAV:response, with
// whether its status is a success (2xx).
void forEachPropstat(
    const XmlNode& multistatus,
    const std::function<void(const XmlNode& response, const XmlNode& prop, bool success)>& f);
// The first child element with this local name in the DAV: namespace; the empty handle when there is none.
XmlNode davChild(const XmlNode& parent, std::string_view localName);

// The condition a server names when it refuses a request: the first element of a DAV:error reply (RFC 4918,
// 16), e.g. "propfind-finite-depth"; empty when the reply is no DAV:error.
std::string refusalCondition(XmlDocument& reply);
// The same, read from the text of a reply that is not WebDAV: lighttpd's DAV:error uses a prefix it never
// declares, and Apache explains its refusal of unlimited depth on an HTML page.
std::string refusalCondition(std::string_view replyText);

}  // namespace ostrel::replies
