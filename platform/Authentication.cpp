#include "platform/Authentication.h"

#include <utility>

#include "platform/Url.h"

namespace ostrel::http {

bool AuthenticationMemory::mustForgetFor(std::string_view url, std::string_view user,
                                         std::string_view password) {
    Owner owner{std::string(url::serverOf(url)), std::string(user), std::string(password)};
    if (owner == owner_) return false;
    owner_ = std::move(owner);
    return true;
}

}  // namespace ostrel::http
