#include "settings/update_checks.hpp"

#include "base/text.hpp"
#include "storage/read_only_store.hpp"

namespace tb {

bool TemplateIsUsable(std::string image) {
    ReadOnlyStore check = ReadOnlyStore::FromImage(std::move(image));
    return !check.Damaged() && !DecodeUtf8(check.Store().ReadString("Options\\Toolbar Name", "")).empty();
}

bool IconStoreIsUsable(std::string image) {
    ReadOnlyStore check = ReadOnlyStore::FromImage(std::move(image));
    return !check.Damaged() && check.Store().KeyExists("\\Icons");
}

std::string VersionOf(std::string image) {
    ReadOnlyStore store = ReadOnlyStore::FromImage(std::move(image));
    return store.Damaged() ? std::string() : store.Store().ReadString("\\Options\\Version", "");
}

}  // namespace tb
