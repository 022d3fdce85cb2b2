#pragma once
// Class ids as text: "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", 38 characters with the braces.
#include <windows.h>

#include <string>
#include <string_view>

namespace tb {

// The class id the text names. Only the braced form is accepted (hexadecimal digits of either case);
// anything else raises ConvertError "'<text>' is not a valid GUID value".
GUID ClassIdFromText(std::string_view text);

// The standard upper-case braced form.
std::string ClassIdText(const GUID& id);

}  // namespace tb
