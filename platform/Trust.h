#pragma once

// Which certificates the transport trusts: the system's authorities (libcurl's defaults), authorities from a
// PEM file added to them, and public keys pinned per endpoint in their place. Internal to the platform layer;
// nothing here knows the transport.
#include <functional>
#include <map>
#include <string>

namespace ostrel::certificates {

class Trust {
public:
    // The transport's own authorities, read once: its handle is reused and must find its way back to them.
    void setDefaults(std::string caFile, std::string caPath);
    const std::string& defaultCaFile() const { return defaultCaFile_; }
    const std::string& defaultCaPath() const { return defaultCaPath_; }

    void setExtraCaFile(std::string path);
    // The key trusted for an endpoint ("host:port"); an empty pin forgets the endpoint's.
    void pin(const std::string& endpoint, std::string pin);
    // The key pinned for the endpoint of an https URL; nothing for another URL or an endpoint without one.
    const std::string* pinFor(const std::string& url) const;
    // The default authorities and the extra ones in one PEM text, read at the first call after the extra
    // file was set; nothing when no extra file is set. A file that cannot be read raises an Error.
    const std::string* bundle();

private:
    std::string defaultCaFile_;
    std::string defaultCaPath_;
    std::string extraCaFile_;
    std::map<std::string, std::string, std::less<>> pins_;
    std::string bundle_;
};

}  // namespace ostrel::certificates
