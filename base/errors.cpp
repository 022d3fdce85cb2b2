#include "base/errors.hpp"

namespace tb {

Error::Error(const std::string& message) : message_(std::make_shared<const std::string>(message)) {}

Error::Error(const char* message) : message_(std::make_shared<const std::string>(message)) {}

const char* Error::what() const noexcept { return message_->c_str(); }

}  // namespace tb
