#include "platform/Error.h"

#include <utility>

namespace ostrel {

Error::Error(std::int32_t number, std::string source, std::string description)
    : std::runtime_error(source + ": " + description),
      number_(number),
      source_(std::move(source)),
      description_(std::move(description)),
      headlineLength_(description_.size()) {}

Error::Error(std::int32_t number, std::string source, std::string_view headline, std::string_view details)
    : Error(number, std::move(source), std::string(headline).append(kBreak).append(details)) {
    headlineLength_ = headline.size();
}

}  // namespace ostrel
