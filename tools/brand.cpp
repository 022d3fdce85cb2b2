#include "tools/brand.hpp"

#include "base/text.hpp"
#include "settings/update_signature.hpp"
#include "storage/embedded_copy.hpp"
#include "tools/pe_resources.hpp"
#include "tools/version_info.hpp"

namespace tb::tool {

namespace {

const ResourceId kVersionInfo = ResourceId::Number(1);

ResourceId RcData(const char16_t* name) { return ResourceId::Name(name); }

}  // namespace

std::string BrandLibrary(std::string library, const BrandInputs& inputs) {
    PeResources pe = PeResources::Parse(std::move(library));
    const Resource* version = pe.Find(ResourceId::Number(kResourceTypeVersion), kVersionInfo);
    if (version == nullptr) throw PeFormatError("the library has no version resource: not a toolbar library");
    VersionNode info = ParseVersionInfo(version->data);
    if (VersionString(info, u"InternalName") != u"Toolbar") {
        throw PeFormatError("not a toolbar library (its version resource does not name it \"Toolbar\")");
    }
    const auto name = Utf8ToUtf16(inputs.toolbar_name);
    if (!name || name->empty()) throw Error("the toolbar's name must be non-empty UTF-8 text");
    SetVersionString(info, u"ProductName", *name);
    SetVersionString(info, u"FileDescription", *name);
    const uint16_t version_language = version->language;
    pe.Set(ResourceId::Number(kResourceTypeVersion), kVersionInfo, WriteVersionInfo(info), version_language);

    const ResourceId rcdata = ResourceId::Number(kResourceTypeRcData);
    pe.Remove(rcdata, RcData(u"TBTEMPLATE"));
    pe.Remove(rcdata, RcData(u"TBICONS"));
    if (inputs.public_keys.empty() && !inputs.drop_key && pe.Find(rcdata, RcData(u"TBPUBKEY")) != nullptr) {
        throw Error("the library carries a publisher key and takes only signed releases; give --key to keep "
                    "signed updates, or --no-key to make a copy that updates unsigned");
    }
    pe.Remove(rcdata, RcData(u"TBPUBKEY"));
    pe.Set(rcdata, RcData(u"TBTEMPLATE"), EncodeInternalFile(inputs.template_image));
    if (inputs.icons_image) pe.Set(rcdata, RcData(u"TBICONS"), EncodeInternalFile(*inputs.icons_image));
    std::string keys;
    for (const std::string& key : inputs.public_keys) {
        if (key.size() != kUpdatePublicKeySize || key[0] != '\x04') throw Error("not a public key of `tbtool keygen`");
        keys += key;
    }
    if (!keys.empty()) pe.Set(rcdata, RcData(u"TBPUBKEY"), keys);
    return pe.Write();
}

}  // namespace tb::tool
