#include "platform/Error.h"

#include <utility>

namespace ostrel {

Error::Error(std::int32_t number, std::string source, std::string description)
    : std::runtime_error(source + ": " + description),
      number_(number),
      source_(std::move(source)),
      description_(std::move(description)) {}

}  // namespace ostrel
