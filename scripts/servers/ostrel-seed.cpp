// ostrel-seed: fills a running WebDAV server with a tree of folders and documents through HTTP (MKCOL, PUT,
// and PROPPATCH of display names where asked), then reads every collection back with a Depth-1 PROPFIND and
// fails unless each seeded member is there. Going through the server, not its disk, puts dead properties in
// the server's own store and works the same on every server, whatever it keeps on disk.
//
//   ostrel-seed --url URL --tree DIR [--user U --password P] [--display-names]
//
// The tree is walked in byte order of the names, parents before their members. On tmpfs a server lists the
// newest entry first, so "xbrl" (made after "administration") leads the root listing, as the demo needs.
#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/Error.h"
#include "platform/HttpRequest.h"
#include "platform/XmlDocument.h"

namespace fs = std::filesystem;

namespace {

struct Entry {
    std::string path;  // relative to the tree, "/"-separated, no trailing "/"; "" is the root collection
    bool collection = false;
};

std::vector<Entry> walk(const fs::path& root, const std::string& prefix = "") {
    std::vector<fs::directory_entry> members{fs::directory_iterator(root), fs::directory_iterator()};
    std::sort(members.begin(), members.end(),
              [](const auto& a, const auto& b) { return a.path().filename() < b.path().filename(); });
    std::vector<Entry> entries;
    for (const auto& member : members) {
        const std::string path = prefix + member.path().filename().string();
        entries.push_back({path, member.is_directory()});
        if (member.is_directory()) {
            for (Entry& inner : walk(member.path(), path + "/")) entries.push_back(std::move(inner));
        }
    }
    return entries;
}

// Every octet but the unreserved ones and "/" escaped: a name's "%", "#" or space is part of the name.
std::string encodePath(const std::string& path) {
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : path) {
        if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~' || c == '/') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

std::string decodePath(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
            std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
            out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::string lastSegment(const std::string& path) {
    return path.substr(path.rfind('/') + 1);
}

std::string parentOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? "" : path.substr(0, slash);
}

// The demo's names: the root by its URL's last segment, a top-level collection by its name, a deeper one
// with a leading "/", a document by its file name.
std::string displayNameOf(const Entry& entry, const std::string& rootName) {
    if (entry.path.empty()) return rootName;
    if (entry.collection && entry.path.find('/') != std::string::npos) return "/" + lastSegment(entry.path);
    return lastSegment(entry.path);
}

std::string xmlEscape(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '&')
            out += "&amp;";
        else if (c == '<')
            out += "&lt;";
        else if (c == '>')
            out += "&gt;";
        else
            out += c;
    }
    return out;
}

std::vector<ostrel::XmlNode> davChildren(const ostrel::XmlNode& node, const std::string& name) {
    std::vector<ostrel::XmlNode> found;
    for (ostrel::XmlNode child : node.childNodes()) {
        if (child.namespaceURI() == "DAV:" && child.localName() == name) found.push_back(child);
    }
    return found;
}

class Seeder {
public:
    Seeder(std::string url, std::string user, std::string password, const std::string& trustedPem)
        : url_(std::move(url)), user_(std::move(user)), password_(std::move(password)) {
        if (!trustedPem.empty()) request_.setExtraCaFile(trustedPem);
        while (url_.ends_with("/")) url_.pop_back();
        const auto authority = url_.find("://");
        const auto pathStart = url_.find('/', authority == std::string::npos ? 0 : authority + 3);
        basePath_ = pathStart == std::string::npos ? "" : url_.substr(pathStart);
    }

    std::string rootName() const { return lastSegment(basePath_); }

    // Sends one request; fails unless the status is one of `expected`.
    const ostrel::HttpRequest& send(const std::string& method, const Entry& entry,
                                    const std::vector<int>& expected, const std::string& body = "",
                                    const std::vector<std::pair<std::string, std::string>>& headers = {}) {
        const std::string url = urlOf(entry);
        request_.open(method, url, false, user_, password_);
        for (const auto& [name, value] : headers) request_.setRequestHeader(name, value);
        request_.send(body);
        if (std::find(expected.begin(), expected.end(), request_.status()) == expected.end()) {
            throw std::runtime_error(method + " " + url + " answered " + std::to_string(request_.status()) +
                                     " " + request_.statusText() + "\n" + request_.responseTextForError());
        }
        return request_;
    }

    std::string urlOf(const Entry& entry) const {
        if (entry.path.empty()) return url_ + "/";
        return url_ + "/" + encodePath(entry.path) + (entry.collection ? "/" : "");
    }

    // The members a Depth-1 PROPFIND of a collection lists, by decoded path relative to the root (the
    // collection itself included), with the display name each came with ("" where none).
    std::map<std::string, std::pair<bool, std::string>> list(const Entry& collection) {
        const auto& reply =
            send("PROPFIND", collection, {207},
                 "<?xml version=\"1.0\" encoding=\"utf-8\"?><propfind xmlns=\"DAV:\"><prop><displayname/>"
                 "<resourcetype/></prop></propfind>",
                 {{"Depth", "1"}, {"Content-Type", "text/xml; charset=\"utf-8\""}});
        ostrel::XmlDocument doc = reply.responseXML();
        doc.setProperty("SelectionNamespaces", "xmlns:d='DAV:'");
        std::map<std::string, std::pair<bool, std::string>> members;
        for (ostrel::XmlNode response : doc.selectNodes("/d:multistatus/d:response")) {
            const auto hrefs = davChildren(response, "href");
            if (hrefs.empty()) continue;
            std::string path = decodePath(hrefs.front().text());
            if (const auto scheme = path.find("://"); scheme != std::string::npos) {
                const auto slash = path.find('/', scheme + 3);
                path = slash == std::string::npos ? "/" : path.substr(slash);
            }
            while (path.size() > 1 && path.ends_with("/")) path.pop_back();
            if (!path.starts_with(basePath_)) continue;
            path = path.substr(basePath_.size());
            if (path.starts_with("/")) path.erase(0, 1);
            bool isCollection = false;
            std::string name;
            for (ostrel::XmlNode propstat : davChildren(response, "propstat")) {
                const auto status = davChildren(propstat, "status");
                if (status.empty() || status.front().text().find(" 200") == std::string::npos) continue;
                for (ostrel::XmlNode prop : davChildren(propstat, "prop")) {
                    for (ostrel::XmlNode type : davChildren(prop, "resourcetype"))
                        isCollection = isCollection || !davChildren(type, "collection").empty();
                    for (ostrel::XmlNode display : davChildren(prop, "displayname")) name = display.text();
                }
            }
            members[path] = {isCollection, name};
        }
        return members;
    }

private:
    std::string url_;
    std::string basePath_;
    std::string user_;
    std::string password_;
    ostrel::HttpRequest request_;
};

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path.string());
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

int seed(const std::map<std::string, std::string>& args, bool displayNames) {
    const fs::path tree = args.at("--tree");
    const auto optional = [&](const char* name) { return args.count(name) ? args.at(name) : std::string(); };
    Seeder seeder(args.at("--url"), optional("--user"), optional("--password"), optional("--ca"));
    const std::vector<Entry> entries = walk(tree);
    for (const Entry& entry : entries) {
        if (entry.collection) {
            // 405: there from an earlier seeding (rclone answers 201 again).
            seeder.send("MKCOL", entry, {201, 405});
        } else {
            // A replaced document: 204, 201 (rclone) or 200 (webdav-server).
            seeder.send("PUT", entry, {200, 201, 204}, readFile(tree / entry.path),
                        {{"Content-Type", "text/xml; charset=\"utf-8\""}});
        }
    }

    std::vector<Entry> all{Entry{"", true}};
    all.insert(all.end(), entries.begin(), entries.end());
    if (displayNames) {
        // One property per request: lighttpd keeps only the first property of a set.
        for (const Entry& entry : all) {
            const auto& reply = seeder.send("PROPPATCH", entry, {200, 204, 207},
                                            "<?xml version=\"1.0\" encoding=\"utf-8\"?><propertyupdate "
                                            "xmlns=\"DAV:\"><set><prop><displayname>" +
                                                xmlEscape(displayNameOf(entry, seeder.rootName())) +
                                                "</displayname></prop></set></propertyupdate>",
                                            {{"Content-Type", "text/xml; charset=\"utf-8\""}});
            if (reply.status() != 207) continue;
            ostrel::XmlDocument doc = reply.responseXML();
            doc.setProperty("SelectionNamespaces", "xmlns:d='DAV:'");
            for (ostrel::XmlNode status : doc.selectNodes("//d:propstat/d:status")) {
                if (status.text().find(" 200") == std::string::npos)
                    throw std::runtime_error("PROPPATCH " + seeder.urlOf(entry) +
                                             " refused the display name: " + status.text());
            }
        }
    }

    // Each collection is read back once; every member must be listed as what it is.
    std::string problems;
    for (const Entry& collection : all) {
        if (!collection.collection) continue;
        const auto listed = seeder.list(collection);
        for (const Entry& entry : all) {
            const bool member = entry.path == collection.path ||
                                (!entry.path.empty() && parentOf(entry.path) == collection.path);
            if (!member) continue;
            const auto found = listed.find(entry.path);
            if (found == listed.end()) {
                problems += "/" + entry.path + " is missing from the listing of /" + collection.path + "\n";
            } else if (found->second.first != entry.collection) {
                problems +=
                    "/" + entry.path +
                    (entry.collection ? " is listed as a document\n" : " is listed as a collection\n");
            } else if (displayNames && found->second.second != displayNameOf(entry, seeder.rootName())) {
                problems += "/" + entry.path + " has the display name '" + found->second.second + "'\n";
            }
        }
    }
    if (!problems.empty()) throw std::runtime_error("the server does not list what was seeded:\n" + problems);
    std::cout << "seeded " << entries.size() << " resources" << (displayNames ? " with display names" : "")
              << "\n";
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::map<std::string, std::string> args;
    bool displayNames = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--display-names") {
            displayNames = true;
        } else if ((arg == "--url" || arg == "--tree" || arg == "--user" || arg == "--password" ||
                    arg == "--ca") &&
                   i + 1 < argc) {
            args[arg] = argv[++i];
        } else {
            std::cerr << "usage: ostrel-seed --url URL --tree DIR [--user U --password P] [--ca PEM] "
                         "[--display-names]\n";
            return 2;
        }
    }
    if (!args.count("--url") || !args.count("--tree")) {
        std::cerr << "ostrel-seed: --url and --tree are required\n";
        return 2;
    }
    try {
        return seed(args, displayNames);
    } catch (const ostrel::Error& error) {
        std::cerr << "ostrel-seed: " << error.source() << ": " << error.description() << "\n";
    } catch (const std::exception& error) {
        std::cerr << "ostrel-seed: " << error.what() << "\n";
    }
    return 1;
}
