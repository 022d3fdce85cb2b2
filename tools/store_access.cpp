// The tool's seam to the core's store, codec and icon list stream. Those parts of the core are being
// written on their own branches; until they are merged here, the commands that need them report so.
#include "tools/store_access.hpp"

namespace tb::tool {

namespace {

[[noreturn]] void NotInThisBuild(const std::string& what) {
    throw Error(what + " needs the core's storage and codec, which this build of tbtool does not have yet");
}

}  // namespace

LoadedTables LoadStorageFile(const std::string& file) { NotInThisBuild("reading " + file); }
std::unique_ptr<TemplateView> OpenTemplate(const std::string& file) { NotInThisBuild("reading " + file); }
std::optional<std::string> ReadKeyText(const std::string& file, const std::string&) { NotInThisBuild("reading " + file); }
std::string WriteTemplateImage(const std::vector<PlannedKey>&) { NotInThisBuild("writing a template"); }
std::string WriteIconStoreImage(const BuildPlan&, const std::string&) { NotInThisBuild("writing an icon store"); }
std::string LogoBitmap(const std::string& file, const std::string&) { NotInThisBuild("converting " + file); }
IconStoreReport InspectIconStore(const std::string& file) { NotInThisBuild("reading " + file); }
std::string CompressBytes(const std::string&) { NotInThisBuild("compressing"); }
std::string DecompressBytes(const std::string&) { NotInThisBuild("decompressing"); }

}  // namespace tb::tool
