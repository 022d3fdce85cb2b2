#pragma once
// `tbtool brand`: a copy of the toolbar library that carries a publisher's template and icon store
// (and, when given, the public key for signed updates) as resources, named after the toolbar in
// its version resource. The library reads them as it reads its other resources:
//   RCDATA "TBTEMPLATE"  the template file, as an embedded copy (01 01, length, chunked stream)
//   RCDATA "TBICONS"     the icon store, the same way
//   RCDATA "TBPUBKEY"    the 65-byte public keys of `tbtool keygen`, one after another
// and "ProductName" and "FileDescription" of the version resource hold the toolbar's name.
#include <optional>
#include <string>
#include <vector>

namespace tb::tool {

struct BrandInputs {
    std::string template_image;
    std::optional<std::string> icons_image;  // none: the copy carries no icon store
    std::vector<std::string> public_keys;    // none: the copy carries no key (updates unsigned)
    bool drop_key = false;                   // a library that carries keys may lose them only when told
    std::string toolbar_name;                // UTF-8
};

// Throws PeFormatError when `library` is not a toolbar library (a 32-bit or 64-bit Windows
// library whose version resource names it "Toolbar") or is damaged; tb::Error for bad inputs, and
// when the library carries keys, no key is given and drop_key is not set (its signed updates would
// silently end).
std::string BrandLibrary(std::string library, const BrandInputs& inputs);

}  // namespace tb::tool
