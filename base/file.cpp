#include "base/file.hpp"

#include "base/errors.hpp"

namespace tb {

std::string CannotOpenMessage(const std::string& path, int system_error) {
    return "Cannot open file \"" + path + "\". " + SystemErrorMessage(system_error);
}

std::string CannotCreateMessage(const std::string& path, int system_error) {
    return "Cannot create file \"" + path + "\". " + SystemErrorMessage(system_error);
}

}  // namespace tb
