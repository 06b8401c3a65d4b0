#include "platform/Trust.h"

#include <fstream>
#include <iterator>
#include <optional>

#include "platform/Certificates.h"
#include "platform/Error.h"
#include "platform/TransportErrors.h"

namespace ostrel::certificates {

namespace {

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.good() && !in.eof()) throw std::ios_base::failure(path);
    return content;
}

}  // namespace

void Trust::setDefaults(std::string caFile, std::string caPath) {
    defaultCaFile_ = std::move(caFile);
    defaultCaPath_ = std::move(caPath);
    bundle_.clear();
}

void Trust::setExtraCaFile(std::string path) {
    extraCaFile_ = std::move(path);
    bundle_.clear();
}

void Trust::pin(const std::string& endpoint, std::string pin) {
    if (pin.empty()) {
        pins_.erase(endpoint);
    } else {
        pins_[endpoint] = std::move(pin);
    }
}

const std::string* Trust::pinFor(const std::string& url) const {
    const std::optional<Endpoint> endpoint = httpsEndpoint(url);
    const auto pinned = endpoint ? pins_.find(endpoint->key()) : pins_.end();
    return pinned == pins_.end() ? nullptr : &pinned->second;
}

const std::string* Trust::bundle() {
    if (extraCaFile_.empty()) return nullptr;
    if (bundle_.empty()) {
        try {
            bundle_ = (defaultCaFile_.empty() ? std::string() : readFile(defaultCaFile_) + "\n") +
                      readFile(extraCaFile_);
        } catch (const std::ios_base::failure&) {
            throw Error(transport::kUnreadableAuthorities, "HttpRequest",
                        "The certificate authorities in \"" + extraCaFile_ + "\" could not be read");
        }
    }
    return &bundle_;
}

}  // namespace ostrel::certificates
